// Resource IDs of quillshade.exe, shared by the .rc and the window code.
#pragma once

#define IDI_QUILLSHADE 1
#define IDR_MAINMENU 100

// Menu commands, named by their menu path.
#define IDM_FILE_OPEN 200
#define IDM_FILE_CLOSE 201
#define IDM_HELP_VER 210
