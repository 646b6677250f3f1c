// Shared by the status window and the book window; kept beside the book
// window so that it needs nothing of the main module. The settings set it.
#include "view/fontColor.h"

dword fontColor = 0xFFFFFFFF;
