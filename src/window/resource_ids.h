#pragma once

// Resource numbers shared by the program and its resource script. The
// application icon has the lowest number, so Explorer shows it for the file.
#define IDI_BRENNEL 1
