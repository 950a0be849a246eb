// The main window's controls, fonts and banner at the window's DPI.

#include "app/window_scale.h"

#include "app/installer.h"
#include "app/main_window.h"

int WindowDpi;
HWND BannerHandle;

namespace {

const int DesignDpi = 96;
const WORD BannerBitmapResource = 2;
const int BannerWidth = 415;
const int BannerHeight = 101;

// Where each control of the main window lies at 96 DPI, by id from
// InstallButton to DriveList. The release notes take the hint's id, and
// with it the hint's entry.
struct Placement {
    short x, y, width, height;
};
Placement Placements[4];

// The stock fonts' designs at WindowDpi, made on first use: the variable
// font's first, then the fixed one's.
HFONT ScaledFonts[2];

// The banner as the resource holds it.
HBITMAP BannerDesign;

bool AtDesignDpi()
{
    return WindowDpi == 0 || WindowDpi == DesignDpi;
}

}  // namespace

__attribute__((noinline)) int DpiOf(HWND window)
{
    typedef UINT(WINAPI * DpiForWindow)(HWND);
    const DpiForWindow dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(SystemFunction("user32", "GetDpiForWindow")));
    if (window != nullptr && dpiForWindow != nullptr)
        return static_cast<int>(dpiForWindow(window));
    // A memory DC has the screen's logical pixels.
    const HDC screen = CreateCompatibleDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    DeleteDC(screen);
    return dpi;
}

__attribute__((noinline)) int Scaled(int pixels)
{
    return WindowDpi == 0 ? pixels : MulDiv(pixels, WindowDpi, DesignDpi);
}

void NotePlacement(int id, int x, int y, int width, int height)
{
    const unsigned index = static_cast<unsigned>(id - InstallButton);
    if (index < 4)
        Placements[index] = Placement{static_cast<short>(x), static_cast<short>(y),
                                      static_cast<short>(width), static_cast<short>(height)};
}

HGDIOBJ FontForDpi(HGDIOBJ stockFont)
{
    if (AtDesignDpi())
        return stockFont;
    HFONT& scaled = ScaledFonts[stockFont == GetStockObject(ANSI_FIXED_FONT)];
    if (scaled == nullptr) {
        LOGFONTA design;
        GetObjectA(stockFont, sizeof design, &design);
        // The stock fonts give a height and leave the width to it.
        design.lfHeight = Scaled(design.lfHeight);
        scaled = CreateFontIndirectA(&design);
    }
    return scaled;
}

// The scaled picture is made from the resource's, in a bitmap of its kind.
void ShowBanner(HWND banner)
{
    BannerHandle = banner;
    if (BannerDesign == nullptr)
        BannerDesign = LoadBitmapA(InstanceHandle, MAKEINTRESOURCEA(BannerBitmapResource));
    HBITMAP shown = BannerDesign;
    if (!AtDesignDpi()) {
        const int width = Scaled(BannerWidth);
        const int height = Scaled(BannerHeight);
        const HDC from = CreateCompatibleDC(nullptr);
        const HDC to = CreateCompatibleDC(nullptr);
        SelectObject(from, BannerDesign);
        shown = CreateCompatibleBitmap(from, width, height);
        SelectObject(to, shown);
        SetStretchBltMode(to, WindowDpi % DesignDpi == 0 ? COLORONCOLOR : HALFTONE);
        StretchBlt(to, 0, 0, width, height, from, 0, 0, BannerWidth, BannerHeight, SRCCOPY);
        DeleteDC(from);
        DeleteDC(to);
    }
    const HGDIOBJ replaced = reinterpret_cast<HGDIOBJ>(
        SendMessageA(banner, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(shown)));
    if (replaced != BannerDesign)
        DeleteObject(replaced);
}

// The controls that are gone have null handles, which Windows refuses. The
// banner takes its picture's size once it has been moved; the fonts of the
// old DPI are deleted once no control has them.
void LayOutForDpi(int dpi)
{
    const HFONT replaced[2] = {ScaledFonts[0], ScaledFonts[1]};
    ScaledFonts[0] = ScaledFonts[1] = nullptr;
    WindowDpi = dpi;
    const HWND controls[4] = {InstallButtonHandle, HintLabelHandle, BannerHandle, DriveListHandle};
    for (int i = 0; i < 4; ++i) {
        const Placement& at = Placements[i];
        MoveWindow(controls[i], Scaled(at.x), Scaled(at.y), Scaled(at.width), Scaled(at.height),
                   TRUE);
    }
    ShowBanner(BannerHandle);
    const HGDIOBJ variableFont = GetStockObject(ANSI_VAR_FONT);
    SetFont(InstallButtonHandle, variableFont);
    SetFont(HintLabelHandle, variableFont);
    SetFont(DriveListHandle, GetStockObject(ANSI_FIXED_FONT));
    DeleteObject(replaced[0]);
    DeleteObject(replaced[1]);
}
