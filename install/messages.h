#pragma once
// The texts that the installation shows: message boxes, the release notes
// panel and the title bar stages. Multi-line texts join fixed pieces with
// CR LF, as the window system expects.
//
// Portable: no windows.h, unit-tested natively.
