// The Reg*A functions as the deliverables use them: value round trips and the size rules,
// case-insensitive names, dispositions, enumeration, deletion, HKEY_CLASSES_ROOT as the
// Software\Classes branch, access rights, handles that follow the newest state, and threads.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kivtest/prefix.h"
#include "plat/registry.h"

namespace {

// An open key, closed when it goes.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  operator HKEY() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

LONG Create(HKEY parent, const char* path, Key& key, DWORD* disposition = nullptr) {
  return RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                         key.out(), disposition);
}

LONG SetText(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

LONG SetDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Reads a REG_SZ value into a buffer of 64 bytes; "" when it fails.
std::string GetText(HKEY key, const char* name, LONG* result = nullptr) {
  char buf[64] = {};
  DWORD type = 0;
  DWORD size = sizeof buf;
  const LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  if (result != nullptr) *result = r;
  return r == ERROR_SUCCESS && type == REG_SZ ? std::string(buf, size - 1) : std::string();
}

std::vector<std::string> SubkeyNames(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    const LONG r = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) {
      EXPECT_EQ(r, ERROR_NO_MORE_ITEMS);
      return names;
    }
    names.emplace_back(name, size);
  }
}

class RegistryApiTest : public testing::Test {
 protected:
  kivtest::ScopedPrefix prefix_;
};

TEST_F(RegistryApiTest, ValuesRoundTripWithTheSizeRules) {
  Key key;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", key), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, "ServerIPAddr", "127.0.0.1"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "NumPhones", 3), ERROR_SUCCESS);
  // Text given without its terminating zero still reads back terminated.
  ASSERT_EQ(RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, "", "default text"), ERROR_SUCCESS);

  Key reopened;  // a fresh handle reads what is stored, not what the first one remembers
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", 0, KEY_READ, reopened.out()), ERROR_SUCCESS);

  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExA(reopened, "ServerIPAddr", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 10u);  // "127.0.0.1" and its zero

  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  size = 9;
  EXPECT_EQ(RegQueryValueExA(reopened, "ServerIPAddr", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(buf[0], 'x');  // a short buffer is not written

  size = 10;
  ASSERT_EQ(RegQueryValueExA(reopened, "ServerIPAddr", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buf, "127.0.0.1");
  EXPECT_EQ(size, 10u);

  DWORD number = 0;
  size = sizeof number;
  ASSERT_EQ(RegQueryValueExA(reopened, "NumPhones", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(number, 3u);
  EXPECT_EQ(size, 4u);
  size = 2;
  EXPECT_EQ(RegQueryValueExA(reopened, "NumPhones", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);

  EXPECT_EQ(GetText(reopened, "Bare"), "abc");
  EXPECT_EQ(GetText(reopened, nullptr), "default text");  // the null and the empty name alike
  EXPECT_EQ(GetText(reopened, ""), "default text");
  LONG result = ERROR_SUCCESS;
  GetText(reopened, "Missing", &result);
  EXPECT_EQ(result, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(reopened, "NumPhones", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetDword(key, "NumPhones", 7), ERROR_SUCCESS);  // overwrite
  size = sizeof number;
  ASSERT_EQ(RegQueryValueExA(reopened, "numphones", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(number, 7u);
}

TEST_F(RegistryApiTest, NamesAreCaseInsensitiveAndKeepTheirFirstCase) {
  Key first;
  Key second;
  DWORD disposition = 0;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\KIV\\KIVTSP\\Phone0", first, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\kiv\\kivtsp\\PHONE0", second, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  ASSERT_EQ(SetText(first, "Extension", "100"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(second, "EXTENSION", "101"), ERROR_SUCCESS);  // the same value
  EXPECT_EQ(GetText(first, "extension"), "101");

  Key parent;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\Kiv\\KivTsp", 0, KEY_READ, parent.out()), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(parent), std::vector<std::string>{"Phone0"});
  char name[32];
  DWORD name_size = sizeof name;
  DWORD type = 0;
  ASSERT_EQ(RegEnumValueA(first, 0, name, &name_size, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Extension");

  Key missing;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\Nothing", 0, KEY_READ, missing.out()),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, EnumeratesSubkeysAlphabeticallyAndValuesInWrittenOrder) {
  Key root;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\Enum", root), ERROR_SUCCESS);
  for (const char* name : {"b", "A", "c_d", "C"}) {
    Key child;
    ASSERT_EQ(Create(root, name, child), ERROR_SUCCESS);
  }
  EXPECT_EQ(SubkeyNames(root), (std::vector<std::string>{"A", "b", "C", "c_d"}));

  char name[8];
  DWORD size = 3;  // "c_d" needs 4 with its zero
  EXPECT_EQ(RegEnumKeyExA(root, 3, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  size = 4;
  EXPECT_EQ(RegEnumKeyExA(root, 3, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(RegEnumKeyExA(root, 4, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  ASSERT_EQ(SetDword(root, "zeta", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetText(root, "alpha", "two"), ERROR_SUCCESS);
  struct Expected {
    const char* name;
    DWORD type;
    DWORD size;
  };
  const Expected expected[] = {{"zeta", REG_DWORD, 4}, {"alpha", REG_SZ, 4}};
  for (DWORD i = 0; i < 2; ++i) {
    char value_name[8];
    DWORD name_size = sizeof value_name;
    DWORD type = 0;
    DWORD data_size = 0;
    ASSERT_EQ(RegEnumValueA(root, i, value_name, &name_size, nullptr, &type, nullptr, &data_size), ERROR_SUCCESS);
    EXPECT_STREQ(value_name, expected[i].name);
    EXPECT_EQ(type, expected[i].type);
    EXPECT_EQ(data_size, expected[i].size);
  }
  DWORD name_size = sizeof name;
  EXPECT_EQ(RegEnumValueA(root, 2, name, &name_size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryApiTest, DeletesKeysValuesAndTrees) {
  Key phones;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\KIV\\KIVTSP", phones), ERROR_SUCCESS);
  Key phone1;
  ASSERT_EQ(Create(phones, "Phone1\\Deeper", phone1), ERROR_SUCCESS);
  ASSERT_EQ(SetText(phone1, "Extension", "101"), ERROR_SUCCESS);

  // A key with subkeys stays, as on Windows.
  EXPECT_EQ(RegDeleteKeyA(phones, "Phone1"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetText(phone1, "Extension"), "101");
  EXPECT_EQ(RegDeleteValueA(phone1, "Extension"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(phone1, "Extension"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(phones, "Phone1\\Deeper"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(phones, "Phone1"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(phones, "Phone1"), ERROR_FILE_NOT_FOUND);

  // The handle to the deleted key fails instead of bringing it back.
  EXPECT_EQ(SetText(phone1, "Extension", "102"), ERROR_KEY_DELETED);
  LONG result = ERROR_SUCCESS;
  GetText(phone1, "Extension", &result);
  EXPECT_EQ(result, ERROR_KEY_DELETED);
  EXPECT_TRUE(SubkeyNames(phones).empty());

  Key tree;
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32", tree), ERROR_SUCCESS);
  ASSERT_EQ(SetText(tree, "ThreadingModel", "Apartment"), ERROR_SUCCESS);
  Key other;
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, "CLSID\\{2}", other), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "clsid\\{1}"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID\\{1}"), ERROR_FILE_NOT_FOUND);
  Key clsid;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, clsid.out()), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(clsid), std::vector<std::string>{"{2}"});
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryApiTest, ClassesRootIsTheSoftwareClassesBranch) {
  EXPECT_TRUE(SubkeyNames(HKEY_CLASSES_ROOT).empty());  // present even before anything is in it
  Key server;
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, "CLSID\\{ABC}\\InprocServer32", server), ERROR_SUCCESS);
  ASSERT_EQ(SetText(server, nullptr, "/opt/lib/libCorvane.so"), ERROR_SUCCESS);
  Key through_machine;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\{abc}\\InprocServer32", 0, KEY_READ,
                          through_machine.out()),
            ERROR_SUCCESS);
  EXPECT_EQ(GetText(through_machine, ""), "/opt/lib/libCorvane.so");

  Key prog_id;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\Classes\\CvnEndPoint.CvnEndPoint.1", prog_id), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(HKEY_CLASSES_ROOT), (std::vector<std::string>{"CLSID", "CvnEndPoint.CvnEndPoint.1"}));
}

TEST_F(RegistryApiTest, AHandleReadsTheNewestStateOfTheFile) {
  Key key;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", key), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, "ServerIPAddr", "10.0.0.1"), ERROR_SUCCESS);
  // Another process replaces the hive (as reg or the debugger does).
  {
    std::ofstream hive(prefix_.path() / "registry.reg", std::ios::trunc);
    hive << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\KIV\\Corvane]\n\"ServerIPAddr\"=\"10.0.0.2\"\n";
  }
  EXPECT_EQ(GetText(key, "ServerIPAddr"), "10.0.0.2");
}

TEST_F(RegistryApiTest, HandlesKeepTheirAccessRights) {
  Key writable;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\KIV\\KIVTSP", writable), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(writable, "NumPhones", 1), ERROR_SUCCESS);
  Key reader;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\KIVTSP", 0, KEY_READ, reader.out()), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(reader, "NumPhones", 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader, "NumPhones"), ERROR_ACCESS_DENIED);
  Key child;
  EXPECT_EQ(RegCreateKeyExA(reader, "Phone0", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, child.out(), nullptr),
            ERROR_ACCESS_DENIED);
  Key setter;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\KIVTSP", 0, KEY_SET_VALUE, setter.out()),
            ERROR_SUCCESS);
  LONG result = ERROR_SUCCESS;
  GetText(setter, "NumPhones", &result);
  EXPECT_EQ(result, ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetDword(setter, "NumPhones", 2), ERROR_SUCCESS);

  HKEY closed = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(closed, "x", 1), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApiTest, ThreadsWritingOneKeyAtOnceLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kValuesEach = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      Key key;
      ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\Shared", key), ERROR_SUCCESS);
      for (int i = 0; i < kValuesEach; ++i) {
        const std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
        ASSERT_EQ(SetDword(key, name.c_str(), static_cast<DWORD>(t * 1000 + i)), ERROR_SUCCESS);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  Key key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, KEY_READ, key.out()), ERROR_SUCCESS);
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kValuesEach; ++i) {
      const std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
      DWORD value = 0;
      DWORD size = sizeof value;
      ASSERT_EQ(RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
                ERROR_SUCCESS)
          << name;
      EXPECT_EQ(value, static_cast<DWORD>(t * 1000 + i));
    }
  }
}

}  // namespace
