// Writing the embedded payloads and removing them again.
#include <windows.h>

#include "Classes.h"
#include "Exception.h"
#include "SysUtils.h"
#include "install/Payloads.h"
#include "install_test_support.h"

using namespace installtest;

namespace {

class Payloads : public InstallWindow {};

std::string Resource(const wchar_t* name) {
    const TResourceStream stream(GetModuleHandleW(nullptr), name, RT_RCDATA);
    return std::string(static_cast<const char*>(stream.Memory()), stream.Size());
}

}  // namespace

TEST_F(Payloads, WrittenByteForByte) {
    ExtractResourceToFile(L"iu.exe", L"IUFILE");
    ExtractResourceToFile(L"KAVORIN.wgt", L"WGTFILE");
    // The widget resource is a file of the source tree: compare with it, not with ourselves.
    const auto original = ReadBytes(KAVORIN_TEST_WIDGET_FILE);
    ASSERT_TRUE(original.has_value());
    ASSERT_GT(original->size(), 1000u);
    EXPECT_TRUE(ReadBytes(Work(L"KAVORIN.wgt")) == original);
    EXPECT_TRUE(Resource(L"WGTFILE") == *original);
    // The bridge is a whole program: it must still run as one.
    const auto bridge = ReadBytes(Work(L"iu.exe"));
    ASSERT_TRUE(bridge.has_value());
    EXPECT_EQ(bridge->size(), Resource(L"IUFILE").size());
    EXPECT_TRUE(*bridge == Resource(L"IUFILE"));
    EXPECT_EQ(bridge->substr(0, 2), "MZ");
}

TEST_F(Payloads, ALongerOldFileIsReplacedWhole) {
    const std::string old(300000, 'x');
    WriteBytes(Work(L"KAVORIN.wgt"), old);
    ExtractResourceToFile(L"KAVORIN.wgt", L"WGTFILE");
    const auto now = ReadBytes(Work(L"KAVORIN.wgt"));
    ASSERT_TRUE(now.has_value());
    EXPECT_EQ(now->size(), ReadBytes(KAVORIN_TEST_WIDGET_FILE)->size());
    EXPECT_TRUE(now == ReadBytes(KAVORIN_TEST_WIDGET_FILE));
}

TEST_F(Payloads, MissingResourceRaisesAndWritesNothing) {
    EXPECT_THROW(ExtractResourceToFile(L"x.bin", L"NOSUCHPAYLOAD"), EResNotFound);
    EXPECT_FALSE(IsFile(Work(L"x.bin")));
    // An older file of that name is left alone, not emptied.
    WriteBytes(Work(L"y.bin"), "keep me");
    EXPECT_THROW(ExtractResourceToFile(L"y.bin", L"NOSUCHPAYLOAD"), EResNotFound);
    EXPECT_EQ(ReadBytes(Work(L"y.bin")), std::optional<std::string>("keep me"));
}

TEST_F(Payloads, DeleteIfExistsRemovesFilesAndIsQuietOtherwise) {
    WriteBytes(Work(L"a.txt"), "a");
    DeleteFileIfExists(L"a.txt");
    EXPECT_FALSE(IsFile(Work(L"a.txt")));

    EXPECT_NO_THROW(DeleteFileIfExists(L"never-there.txt"));
    EXPECT_NO_THROW(DeleteFileIfExists(L""));

    CreateDirectoryW(Work(L"folder.wgt").c_str(), nullptr);
    DeleteFileIfExists(L"folder.wgt");
    EXPECT_TRUE(IsDir(Work(L"folder.wgt")));

    // Held open without delete sharing, as a running client holds its program file.
    WriteBytes(Work(L"held.exe"), "held");
    HANDLE held = CreateFileW(Work(L"held.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NO_THROW(DeleteFileIfExists(L"held.exe"));
    EXPECT_TRUE(IsFile(Work(L"held.exe")));
    CloseHandle(held);
    DeleteFileIfExists(L"held.exe");
    EXPECT_FALSE(IsFile(Work(L"held.exe")));
}

TEST_F(Payloads, FileExistsCountsFilesOnly) {
    WriteBytes(Work(L"f.txt"), "f");
    CreateDirectoryW(Work(L"d").c_str(), nullptr);
    EXPECT_TRUE(Sysutils::FileExists(L"f.txt"));
    EXPECT_FALSE(Sysutils::FileExists(L"d"));
    EXPECT_FALSE(Sysutils::FileExists(L"missing.txt"));
    EXPECT_FALSE(Sysutils::FileExists(L""));
    EXPECT_TRUE(Sysutils::CreateDir(L"new"));
    EXPECT_FALSE(Sysutils::CreateDir(L"new"));
    EXPECT_TRUE(Sysutils::DeleteFile(L"f.txt"));  // the macro of windows.h must not get in the way
    EXPECT_FALSE(Sysutils::DeleteFile(L"f.txt"));
}
