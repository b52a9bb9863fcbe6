// File functions over the prefix: creation dispositions, appending, positions, moves that never
// replace a file, folders that are never made implicitly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "kivtest/prefix.h"
#include "plat/files.h"

namespace {

class FilesTest : public ::testing::Test {
 protected:
  // Writes a file straight onto the prefix, bypassing the functions under test.
  void Plant(const std::string& name, const std::string& content) {
    std::ofstream(prefix_.TempDir() / name, std::ios::binary) << content;
  }
  std::string Content(const std::string& name) {
    std::ifstream in(prefix_.TempDir() / name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  bool Exists(const std::string& name) { return std::filesystem::exists(prefix_.TempDir() / name); }

  static HANDLE Open(const char* path, DWORD access, DWORD disposition) {
    return CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  static bool Write(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
  }

  kivtest::ScopedPrefix prefix_;
};

TEST_F(FilesTest, CreationDispositions) {
  struct Case {
    DWORD disposition;
    bool exists;
    bool opens;
    LONG error;
    const char* content_after;  // of the file, when it opened
  };
  const Case cases[] = {
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, nullptr},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "disposition " << c.disposition << (c.exists ? " existing" : " missing"));
    std::filesystem::remove(prefix_.TempDir() / "f.txt");
    if (c.exists) Plant("f.txt", "old");
    HANDLE file = Open("C:\\temp\\f.txt", GENERIC_WRITE, c.disposition);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error));
    ASSERT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
    if (c.opens) {
      EXPECT_TRUE(CloseHandle(file));
      EXPECT_EQ(Content("f.txt"), c.content_after);
    } else {
      EXPECT_EQ(Exists("f.txt"), c.exists);
    }
  }
}

TEST_F(FilesTest, MissingFolderFailsAndIsNotMade) {
  EXPECT_EQ(Open("C:\\nofolder\\KIV.log", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA("C:\\nofolder"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA("C:\\nofolder\\KIV.log"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  EXPECT_FALSE(CreateDirectoryA("C:\\nofolder\\sub", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(CreateDirectoryA("C:\\nofolder", nullptr));
  EXPECT_FALSE(CreateDirectoryA("C:\\nofolder", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(GetFileAttributesA("C:\\nofolder") & FILE_ATTRIBUTE_DIRECTORY, 0u);

  HANDLE file = Open("C:\\nofolder\\KIV.log", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(GetFileAttributesA("C:\\nofolder\\KIV.log"), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FilesTest, AppendHandleWritesAtTheEndWhateverThePointer) {
  Plant("KIV.log", "abc");
  HANDLE file = Open("C:\\temp\\KIV.log", FILE_APPEND_DATA, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_BEGIN), 0u);
  EXPECT_TRUE(Write(file, "def"));
  EXPECT_EQ(GetFileSize(file, nullptr), 6u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(Content("KIV.log"), "abcdef");

  // A plain write handle writes at its pointer: FILE_END appends, FILE_BEGIN overwrites.
  file = Open("C:\\temp\\KIV.log", GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), 6u);
  EXPECT_TRUE(Write(file, "gh"));
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_BEGIN), 0u);
  EXPECT_TRUE(Write(file, "A"));
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(Content("KIV.log"), "Abcdefgh");
}

TEST_F(FilesTest, ReadBackToTheEnd) {
  Plant("r.bin", std::string("x\0y\x80z", 5));
  HANDLE file = Open("C:\\temp\\r.bin", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[16] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), std::string("x\0y\x80z", 5));
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);  // end of file is success with nothing read
  DWORD written = 1;
  EXPECT_FALSE(WriteFile(file, "q", 1, &written, nullptr));  // opened for reading only
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(CloseHandle(file));

  // A closed file handle is gone, and a file handle is not waitable.
  EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
  file = Open("C:\\temp\\r.bin", GENERIC_READ, OPEN_EXISTING);
  EXPECT_EQ(WaitForSingleObject(file, 0), WAIT_FAILED);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FilesTest, MoveNeverReplacesAnExistingTarget) {
  Plant("KIV.log", "new");
  Plant("OldKIV.log", "old");
  EXPECT_FALSE(MoveFileA("C:\\temp\\KIV.log", "C:\\temp\\OldKIV.log"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(Content("KIV.log"), "new");
  EXPECT_EQ(Content("OldKIV.log"), "old");

  EXPECT_FALSE(MoveFileA("C:\\temp\\OldKIV4.log", "C:\\temp\\OldKIV5.log"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(Exists("OldKIV5.log"));

  ASSERT_TRUE(MoveFileA("C:\\temp\\OldKIV.log", "C:\\temp\\OldKIV2.log"));
  ASSERT_TRUE(MoveFileA("C:\\temp\\KIV.log", "C:\\temp\\OldKIV.log"));
  EXPECT_FALSE(Exists("KIV.log"));
  EXPECT_EQ(Content("OldKIV.log"), "new");
  EXPECT_EQ(Content("OldKIV2.log"), "old");
}

TEST_F(FilesTest, DeleteFile) {
  Plant("d.txt", "x");
  EXPECT_TRUE(DeleteFileA("C:\\temp\\d.txt"));
  EXPECT_FALSE(Exists("d.txt"));
  EXPECT_FALSE(DeleteFileA("C:\\temp\\d.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
