// test_dll_win.cpp - pelkoran-lzh.dll as another program loads it: by name,
// through GetProcAddress and the C header's types.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "pelkoran_lzh.h"
#include "win_support.h"

namespace {

using win_test::TempDir;

// GetProcAddress's FARPROC as the entry's own type.
template <typename F>
F Entry(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

struct Dll {
    Dll() : module(::LoadLibraryW(L"pelkoran-lzh.dll"))
    {
        if (module) {
            command = Entry<decltype(command)>(module, "ArchiverCommand");
            with_progress = Entry<decltype(with_progress)>(module, "ArchiverCommandWithProgress");
            version = Entry<decltype(version)>(module, "ArchiverGetVersion");
        }
    }
    ~Dll()
    {
        if (module)
            ::FreeLibrary(module);
    }
    HMODULE module;
    int(WINAPI* command)(HWND, const char*, char*, DWORD) = nullptr;
    int(WINAPI* with_progress)(const char*, char*, DWORD, PelkoranLzhProgress, void*) = nullptr;
    WORD(WINAPI* version)() = nullptr;
};

BOOL WINAPI Count(void* context, const char*, const char*, ULONGLONG, ULONGLONG, BOOL)
{
    ++*static_cast<int*>(context);
    return TRUE;
}

BOOL WINAPI Cancel(void*, const char*, const char*, ULONGLONG, ULONGLONG, BOOL)
{
    return FALSE;
}

}  // namespace

// The three entries are exported by name; a command packs, a bad one is
// refused, a cancel from the callback leaves no archive.
TEST(WindowsDll, ExportsPackRefuseAndCancel)
{
    Dll dll;
    ASSERT_NE(dll.module, nullptr) << "LoadLibraryW: error " << ::GetLastError();
    ASSERT_TRUE(dll.command && dll.with_progress && dll.version);
    EXPECT_EQ(dll.version(), 100);

    TempDir dir;
    win_test::WriteFile(dir / "フォルダー\\中身.txt", std::string(100000, 'x'));
    const std::string archive = dir / "フォルダー.lzh";
    const std::string text = "a \"" + archive + "\" \"" + dir.path() + "\\\" -d1 -lh7 \"フォルダー\"";
    char reply[512];
    EXPECT_EQ(dll.with_progress(text.c_str(), reply, sizeof reply, Cancel, nullptr), PELKORAN_LZH_CANCELLED);
    EXPECT_EQ(win_test::CountEntries(dir.path()), 1) << "no archive, no temporary file after a cancel";

    int calls = 0;
    ASSERT_EQ(dll.with_progress(text.c_str(), reply, sizeof reply, Count, &calls), PELKORAN_LZH_OK) << reply;
    EXPECT_GT(calls, 0);
    EXPECT_NE(std::string(reply).find("2 件追加"), std::string::npos) << reply;
    EXPECT_GT(win_test::ReadFile(archive).size(), 22u);

    EXPECT_EQ(dll.command(nullptr, "x nonsense", reply, sizeof reply), PELKORAN_LZH_BAD_COMMAND);
    EXPECT_EQ(dll.command(nullptr, text.c_str(), nullptr, 0), PELKORAN_LZH_OK) << "a null reply of size 0";
}
