#pragma once
// The main window at the DPI of the screen it is on. Its controls are
// placed in the pixels of a 96-DPI screen; this module scales them, with
// their fonts and the banner, to the window's DPI, and lays them out again
// when the window moves to a screen of another DPI. At 96 DPI every
// rectangle, font and picture is the one given, unchanged.

#include <windows.h>

// The DPI that the window is laid out for: 0 until the main window is made,
// and rectangles pass unchanged then.
extern int WindowDpi;

// The DPI of a window; for none, or where Windows cannot tell one window's
// (before Windows 10 1607), the system's.
int DpiOf(HWND window);

// 96-DPI pixels at WindowDpi, rounded as MulDiv rounds.
int Scaled(int pixels);

// Notes the 96-DPI rectangle of a control of the main window (by its id),
// for the layouts at other DPIs.
void NotePlacement(int id, int x, int y, int width, int height);

// The font to give a control for a stock font: the stock font itself at 96
// DPI, otherwise its design at WindowDpi.
HGDIOBJ FontForDpi(HGDIOBJ stockFont);

// The banner control, once it has its picture.
extern HWND BannerHandle;

// Gives the banner the picture at WindowDpi: at whole factors every pixel
// repeated, between them smoothly scaled.
void ShowBanner(HWND banner);

// Lays the main window's controls, fonts and banner out for `dpi`; the
// caller gives the window its new rectangle.
void LayOutForDpi(int dpi);
