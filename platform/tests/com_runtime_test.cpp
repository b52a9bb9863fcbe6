// The COM runtime: apartments, creation through the registry and the test server library,
// the failures a client sees, and unloading through DllCanUnloadNow.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "com_test_support.h"
#include "kivtest/prefix.h"
#include "plat/com.h"

namespace {

using kivtest::kTestObjectClsid;

// {0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}: a class id nobody registers.
constexpr CLSID kUnknownClsid = {
    0x0F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0}};
// {A1A2A3A4-B1B2-C1C2-D1D2-E1E2E3E4E5E6}: registered in tests at libraries that do not serve it.
constexpr CLSID kStrayClsid = {
    0xA1A2A3A4, 0xB1B2, 0xC1C2, {0xD1, 0xD2, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6}};

// Runs `body` on a new thread and waits for it, so that it starts outside any apartment.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

class ComRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoFreeUnusedLibraries();  // whatever an earlier test left loaded
  }
  void TearDown() override { CoUninitialize(); }

  kivtest::ScopedPrefix prefix_;
};

LONG CallAnswer(IDispatch* dispatch) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(dispatch->Invoke(kivtest::kAnswerDispId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                             &none, &result, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  return result.lVal;
}

TEST_F(ComRuntimeTest, CreatesARegisteredClassThroughItsLibrary) {
  ASSERT_TRUE(kivtest::RegisterInprocServer(kTestObjectClsid, kivtest::TestComServerPath()));

  IDispatch* dispatch = nullptr;
  ASSERT_EQ(CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&dispatch)),
            S_OK);
  ASSERT_NE(dispatch, nullptr);
  EXPECT_EQ(CallAnswer(dispatch), kivtest::kAnswer);

  IUnknown* unknown = nullptr;
  EXPECT_EQ(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown->Release(), 1u);
  EXPECT_EQ(dispatch->Release(), 0u);

  // The class object is reachable directly too.
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(kTestObjectClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  IUnknown* inner = nullptr;
  EXPECT_EQ(factory->CreateInstance(factory, IID_IUnknown, reinterpret_cast<void**>(&inner)),
            CLASS_E_NOAGGREGATION);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&inner)),
            S_OK);
  inner->Release();
  factory->Release();
}

TEST_F(ComRuntimeTest, ReportsWhyAClassCannotBeCreated) {
  const std::string lib_dir = kivtest::LibDir().string();
  struct Case {
    const char* what;
    const char* registered_path;  // null: the class is not registered at all
    DWORD context;
    HRESULT expected;
  };
  const std::string missing = lib_dir + "/libkivnosuchserver.so";
  const std::string not_a_server = lib_dir + "/libwinplat.so";
  const std::string server = kivtest::TestComServerPath();
  const Case cases[] = {
      {"unregistered class", nullptr, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
      {"only a local server asked for", server.c_str(), CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG},
      {"library missing", missing.c_str(), CLSCTX_INPROC_SERVER, CO_E_DLLNOTFOUND},
      {"library without DllGetClassObject", not_a_server.c_str(), CLSCTX_INPROC_SERVER,
       CO_E_ERRORINDLL},
      {"library serves another class", server.c_str(), CLSCTX_ALL, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kivtest::ScopedPrefix fresh;
    if (c.registered_path != nullptr) {
      ASSERT_TRUE(kivtest::RegisterInprocServer(kStrayClsid, c.registered_path));
    }
    const CLSID& clsid = c.registered_path != nullptr ? kStrayClsid : kUnknownClsid;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, c.context, IID_IUnknown, &object), c.expected);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoGetClassObject(clsid, c.context, nullptr, IID_IClassFactory, &object), c.expected);
    EXPECT_EQ(object, nullptr);
  }

  // The factory's refusal of aggregation reaches the caller.
  ASSERT_TRUE(kivtest::RegisterInprocServer(kTestObjectClsid, server));
  int not_an_object = 0;  // the factory refuses before it could use the outer object
  auto* any_outer = reinterpret_cast<IUnknown*>(&not_an_object);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(
      CoCreateInstance(kTestObjectClsid, any_outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
      CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IConnectionPoint,
                             &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ComRuntimeTest, UnloadsALibraryOnlyWhenItAgrees) {
  const std::string server = kivtest::TestComServerPath();
  ASSERT_TRUE(kivtest::RegisterInprocServer(kTestObjectClsid, server));
  ASSERT_FALSE(kivtest::IsLibraryLoaded(server));

  IDispatch* first = nullptr;
  IDispatch* second = nullptr;
  ASSERT_EQ(CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&first)),
            S_OK);
  ASSERT_EQ(CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&second)),
            S_OK);
  EXPECT_TRUE(kivtest::IsLibraryLoaded(server));

  // Objects alive: the library says no.
  first->Release();
  CoFreeUnusedLibraries();
  ASSERT_TRUE(kivtest::IsLibraryLoaded(server));
  EXPECT_EQ(CallAnswer(second), kivtest::kAnswer);
  second->Release();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(kivtest::IsLibraryLoaded(server));

  // A server lock keeps it too; creation loads it again.
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(kTestObjectClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  CoFreeUnusedLibraries();
  ASSERT_TRUE(kivtest::IsLibraryLoaded(server));
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(kivtest::IsLibraryLoaded(server));
}

TEST_F(ComRuntimeTest, ThreadsCreateObjectsConcurrently) {
  ASSERT_TRUE(kivtest::RegisterInprocServer(kTestObjectClsid, kivtest::TestComServerPath()));
  constexpr int kThreads = 4;
  constexpr int kRounds = 50;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        IDispatch* dispatch = nullptr;
        if (FAILED(CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                    reinterpret_cast<void**>(&dispatch)))) {
          ++failures;
          continue;
        }
        dispatch->Release();
        CoFreeUnusedLibraries();  // races creation on the other threads
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

// Apartments are per thread; the process's multithreaded apartment lets uninitialised threads
// create objects, a single-threaded one does not.
TEST(ComApartmentTest, CountsPerThreadAndAnswersChangedMode) {
  kivtest::ScopedPrefix prefix;
  ASSERT_TRUE(kivtest::RegisterInprocServer(kTestObjectClsid, kivtest::TestComServerPath()));
  auto try_create = [] {
    IUnknown* unknown = nullptr;
    const HRESULT hr = CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IUnknown, reinterpret_cast<void**>(&unknown));
    if (unknown != nullptr) unknown->Release();
    return hr;
  };

  OnFreshThread([&] {
    EXPECT_EQ(try_create(), CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(try_create(), S_OK);
    OnFreshThread([&] { EXPECT_EQ(try_create(), S_OK); });  // the implicit apartment
    CoUninitialize();
    EXPECT_EQ(try_create(), S_OK);  // still initialised once
    CoUninitialize();
    EXPECT_EQ(try_create(), CO_E_NOTINITIALIZED);
    CoUninitialize();  // a surplus call does nothing
  });

  OnFreshThread([&] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(try_create(), S_OK);
    OnFreshThread([&] { EXPECT_EQ(try_create(), CO_E_NOTINITIALIZED); });
    CoUninitialize();
  });

  // A thread that ends inside the multithreaded apartment leaves it.
  OnFreshThread([] { EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); });
  OnFreshThread([&] { EXPECT_EQ(try_create(), CO_E_NOTINITIALIZED); });
  CoFreeUnusedLibraries();
}

}  // namespace
