#pragma once
// The program's resources by id: 130 green lamp, 132 red lamp, 137 logo, 144 icon.
// Shared by the code and the Windows resource script.

#define IDB_LAMP_GREEN 130
#define IDB_LAMP_RED 132
#define IDB_LOGO 137
#define IDI_PROGRAM 144
