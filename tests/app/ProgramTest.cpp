// The program's image as linked, its splash window and the main dialog's icon.
#include <gtest/gtest.h>
#include <algorithm>
#include <vector>
#include "app/SplashWnd.h"
#include "app/VelindoDlg.h"
#include "resources/resource.h"
#include "support/TestSupport.h"
#include "../afx/WindowTestSupport.h"

namespace {

using namespace testing_support;

// The file header of the program beside this test.
bool ProgramFileHeader(IMAGE_FILE_HEADER& header)
{
    std::string image = ReadFileBytes(ProgramFolder() + L"Folionex.exe");
    if (image.size() < sizeof(IMAGE_DOS_HEADER))
        return false;
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    size_t at = (size_t)dos->e_lfanew;
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || at + 4 + sizeof(header) > image.size() ||
        image.compare(at, 4, std::string("PE\0\0", 4)) != 0)
        return false;
    memcpy(&header, image.data() + at + 4, sizeof(header));
    return true;
}

TEST(ProgramImage, TheProgramMayUseTheWholeAddressSpace)
{
    // A reload holds two case maps: 2 GB is not enough for a large register.
    IMAGE_FILE_HEADER header = {};
    ASSERT_TRUE(ProgramFileHeader(header));
    EXPECT_TRUE(header.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE);
}

// The splash's background painted into a DC: a 32-bit memory bitmap of its
// client size, or a context that is gone.
class SplashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window_test::InitOnce();
        splash.Show(60000);
        ASSERT_TRUE(splash.GetSafeHwnd());
    }
    void TearDown() override { splash.Hide(); }

    CSplashWnd splash;
};

TEST_F(SplashTest, ThePictureStandsOnTheGround)
{
    CRect client;
    splash.GetClientRect(&client);
    CDibCanvas canvas(client.Width(), client.Height());
    EXPECT_TRUE(splash.SendMessage(WM_ERASEBKGND, (WPARAM)canvas.dc));
    const COLORREF ground = RGB(64, 64, 64);
    EXPECT_EQ(canvas.Pixel(0, 0), ground);
    int cx = client.Width() / 2, cy = client.Height() / 2;
    int picture = 80 * 80 - canvas.Count(ground, cx - 40, cx + 40, cy - 40, cy + 40);
    EXPECT_GT(picture, 100) << "the picture in the middle";
}

TEST_F(SplashTest, AContextThatTakesNoPictureIsNoCrash)
{
    HDC gone = CreateCompatibleDC(NULL);
    DeleteDC(gone);
    EXPECT_TRUE(splash.SendMessage(WM_ERASEBKGND, (WPARAM)gone));
}

std::vector<HICON> g_destroyedIcons;

BOOL WINAPI RecordDestroyIcon(HICON icon)
{
    g_destroyedIcons.push_back(icon);
    return TRUE;
}

TEST(MainDialogIcon, TheSharedIconOfTheModuleIsNotDestroyed)
{
    CImportHook hook("user32.dll", "DestroyIcon", reinterpret_cast<void*>(&RecordDestroyIcon));
    ASSERT_TRUE(hook.Hooked());
    g_destroyedIcons.clear();
    HICON shared = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_FOLIONEX));
    ASSERT_TRUE(shared);
    {
        CVelindoDlg dlg;
    }
    EXPECT_EQ(std::count(g_destroyedIcons.begin(), g_destroyedIcons.end(), shared), 0);
}

} // namespace
