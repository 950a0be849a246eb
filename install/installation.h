#pragma once
// The installation sequence is declared with the window's shared names in
// app/installer.h; this header is kept for the pieces only it uses.
#include "app/installer.h"
