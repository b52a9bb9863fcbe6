// The hive file: its exact text, files written by hand, the corrupt or unreadable hive that
// makes every call fail and stays untouched, and two processes writing one key at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "kivtest/files.h"
#include "kivtest/prefix.h"
#include "plat/registry.h"

namespace {

LONG SetText(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

LONG SetDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG Query(HKEY parent, const char* path, const char* name, DWORD* type, std::string* data) {
  HKEY key = nullptr;
  LONG r = RegOpenKeyExA(parent, path, 0, KEY_READ, &key);
  if (r != ERROR_SUCCESS) return r;
  char buf[256] = {};
  DWORD size = sizeof buf;
  r = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buf), &size);
  if (r == ERROR_SUCCESS) data->assign(buf, size);
  RegCloseKey(key);
  return r;
}

class RegistryHiveTest : public testing::Test {
 protected:
  std::filesystem::path Hive() const { return prefix_.path() / "registry.reg"; }
  kivtest::ScopedPrefix prefix_;
};

TEST_F(RegistryHiveTest, AMissingHiveIsEmptyAndTheFirstWriteMakesPrefixAndFile) {
  const std::filesystem::path nested = prefix_.path() / "not" / "yet";
  setenv("KIV_PREFIX", nested.c_str(), 1);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  char name[16];
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(HKEY_LOCAL_MACHINE, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_FALSE(std::filesystem::exists(nested));  // reading makes nothing

  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, "ServerIPAddr", "127.0.0.1"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "ServerPortId", 20485), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, "", "C:\\dir \"quoted\""), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, "Lines", "one\ntwo"), ERROR_SUCCESS);
  RegCloseKey(key);

  EXPECT_EQ(kivtest::ReadWholeFile(nested / "registry.reg"),
            "REGEDIT4\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Software]\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Software\\KIV]\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Software\\KIV\\Corvane]\n"
            "\"ServerIPAddr\"=\"127.0.0.1\"\n"
            "\"ServerPortId\"=dword:00005005\n"
            "@=\"C:\\\\dir \\\"quoted\\\"\"\n"
            "\"Lines\"=hex(1):6f,6e,65,0a,74,77,6f,00\n"
            "\n");
  DWORD type = 0;
  std::string data;
  ASSERT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", "Lines", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(data, std::string("one\ntwo", 8));
  setenv("KIV_PREFIX", prefix_.path().c_str(), 1);
}

TEST_F(RegistryHiveTest, ReadsAHiveWrittenByHand) {
  kivtest::WriteWholeFile(Hive(),
            "REGEDIT4\r\n"
            "; settings of the call-control component\r\n"
            "\r\n"
            "[hkey_local_machine\\Software\\KIV\\Corvane]\r\n"
            "\"ServerIPAddr\" = \"host.example\"\r\n"
            "\"Port\"=DWORD:1F\r\n"
            "\"Blob\"=hex:01,02,\\\r\n"
            "  ff\r\n"
            "[HKEY_CLASSES_ROOT\\CLSID\\{1}\\InprocServer32]\r\n"
            "@=\"/lib/x.so\"\r\n");
  struct Case {
    HKEY root;
    const char* path;
    const char* name;
    DWORD type;
    std::string data;
  };
  const Case cases[] = {
      {HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", "ServerIPAddr", REG_SZ, std::string("host.example", 13)},
      {HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", "Port", REG_DWORD, std::string("\x1f\0\0\0", 4)},
      {HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", "Blob", REG_BINARY, "\x01\x02\xff"},
      {HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32", "", REG_SZ, std::string("/lib/x.so", 10)},
      {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{1}\\InprocServer32", nullptr, REG_SZ,
       std::string("/lib/x.so", 10)},
  };
  for (const Case& c : cases) {
    DWORD type = 0;
    std::string data;
    ASSERT_EQ(Query(c.root, c.path, c.name, &type, &data), ERROR_SUCCESS) << c.path << " " << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(data, c.data) << c.name;
  }
}

TEST_F(RegistryHiveTest, ACorruptHiveFailsEveryCallAndIsLeftUntouched) {
  struct Case {
    const char* text;
    int line;
  };
  const Case cases[] = {
      {"[HKEY_LOCAL_MACHINE\\Software]\n", 1},  // no header
      {"REGEDIT4\n\n\"Orphan\"=\"value\"\n", 3},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\n", 2},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\Software]\n", 2},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\\\Twice]\n", 2},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n\"a\"=dword:123456789\n", 3},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n\"a\"=\"open\n\"b\"=\"x\"\n", 3},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n\"a\"=\"C:\\temp\"\n", 3},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n\"a\"=hex:0g\n", 3},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n\n\"a\" \"b\"\n", 4},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n\"a\"=\"b\" trailing\n", 3},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n\"a\"=qword:1\n", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    kivtest::WriteWholeFile(Hive(), c.text);
    HKEY key = nullptr;
    DWORD disposition = 0;
    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_BADDB);
    EXPECT_EQ(SetDword(HKEY_CLASSES_ROOT, "x", 1), ERROR_BADDB);
    EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "x", nullptr, nullptr, nullptr, &size), ERROR_BADDB);
    EXPECT_EQ(RegEnumKeyExA(HKEY_LOCAL_MACHINE, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_BADDB);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software"), ERROR_BADDB);
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software"), ERROR_BADDB);
    const std::filesystem::path exported = prefix_.path() / "out.reg";
    EXPECT_EQ(plat::RegExportHive(exported.string(), nullptr), ERROR_BADDB);
    kivtest::WriteWholeFile(prefix_.path() / "in.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\In]\n");
    EXPECT_EQ(plat::RegImportHive((prefix_.path() / "in.reg").string(), nullptr), ERROR_BADDB);

    std::string error;
    EXPECT_EQ(plat::RegCheckHive(&error), ERROR_BADDB);
    EXPECT_EQ(error.rfind(Hive().string() + " line " + std::to_string(c.line) + ": ", 0), 0u) << error;
    EXPECT_EQ(kivtest::ReadWholeFile(Hive()), c.text);
    EXPECT_FALSE(std::filesystem::exists(exported));
    EXPECT_FALSE(std::filesystem::exists(Hive().string() + ".tmp"));
  }
}

TEST_F(RegistryHiveTest, AnUnreadableHiveFailsEveryCall) {
  std::filesystem::create_directory(Hive());
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), ERROR_CANTREAD);
  EXPECT_EQ(SetDword(HKEY_CLASSES_ROOT, "x", 1), ERROR_CANTREAD);
  std::string error;
  EXPECT_EQ(plat::RegCheckHive(&error), ERROR_CANTREAD);
  EXPECT_NE(error.find(Hive().string()), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_directory(Hive()));
}

TEST_F(RegistryHiveTest, ImportMergesAllOrNothing) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\KIVTSP", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "NumPhones", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "EmulateModem", 0), ERROR_SUCCESS);
  RegCloseKey(key);
  const std::string before = kivtest::ReadWholeFile(Hive());

  const std::filesystem::path bad = prefix_.path() / "bad.reg";
  kivtest::WriteWholeFile(bad, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\KIV\\KIVTSP]\n\"NumPhones\"=dword:2\nbroken\n");
  std::string error;
  EXPECT_EQ(plat::RegImportHive(bad.string(), &error), ERROR_BADDB);
  EXPECT_EQ(error.rfind(bad.string() + " line 4: ", 0), 0u) << error;
  EXPECT_EQ(kivtest::ReadWholeFile(Hive()), before);

  const std::filesystem::path good = prefix_.path() / "good.reg";
  kivtest::WriteWholeFile(good,
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\KIV\\KIVTSP]\n\"NumPhones\"=dword:2\n\"EmulateModem\"=-\n"
            "[HKEY_LOCAL_MACHINE\\Software\\KIV\\KIVTSP\\Phone1]\n\"Extension\"=\"101\"\n");
  ASSERT_EQ(plat::RegImportHive(good.string(), &error), ERROR_SUCCESS) << error;
  DWORD type = 0;
  std::string data;
  ASSERT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\KIV\\KIVTSP", "NumPhones", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, std::string("\2\0\0\0", 4));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\KIV\\KIVTSP", "EmulateModem", &type, &data), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\KIV\\KIVTSP\\Phone1", "Extension", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, std::string("101", 4));

  kivtest::WriteWholeFile(good, "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\Software\\KIV]\n");
  ASSERT_EQ(plat::RegImportHive(good.string(), &error), ERROR_SUCCESS) << error;
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\KIV", nullptr, &type, &data), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryHiveTest, TwoProcessesWritingOneKeyAtOnceLoseNothing) {
  constexpr int kValuesEach = 100;
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      close(gate[1]);
      char byte;
      // Both start when the parent closes the pipe.
      if (read(gate[0], &byte, 1) != 0) _exit(2);
      HKEY key = nullptr;
      if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &key, nullptr) != ERROR_SUCCESS) {
        _exit(3);
      }
      for (int i = 0; i < kValuesEach; ++i) {
        const std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
        if (SetDword(key, name.c_str(), static_cast<DWORD>(c * 1000 + i)) != ERROR_SUCCESS) _exit(4);
      }
      _exit(0);
    }
  }
  close(gate[0]);
  close(gate[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }

  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < kValuesEach; ++i) {
      const std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
      DWORD type = 0;
      std::string data;
      ASSERT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", name.c_str(), &type, &data), ERROR_SUCCESS)
          << name;
      const DWORD expected = static_cast<DWORD>(c * 1000 + i);
      EXPECT_EQ(data, std::string(reinterpret_cast<const char*>(&expected), 4)) << name;
    }
  }
}

}  // namespace
