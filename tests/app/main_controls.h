#pragma once
// The main window's controls with ids, as the operator's manual lists them.

#include <set>

#include "ui/dialog_template.h"

struct ExpectedControl {
    int id;
    ui::Kind kind;
    const char* caption;
    int x, y, cx, cy; // dialog units
    bool visible;
};

inline constexpr ui::Kind kEdit = ui::Kind::Edit, kButton = ui::Kind::PushButton, kLabel = ui::Kind::Label,
                          kCheck = ui::Kind::CheckBox;

inline const ExpectedControl kControls[] = {
    {1011, kEdit, "", 56, 73, 40, 14, true},
    {1013, kEdit, "", 56, 92, 40, 14, true},
    {1015, kEdit, "", 153, 92, 40, 14, true},
    {1014, kEdit, "", 56, 111, 40, 14, true},
    {1016, kEdit, "", 153, 111, 40, 14, true},
    {1012, kEdit, "", 56, 129, 40, 14, true},
    {1017, kEdit, "", 153, 130, 40, 14, true},
    {1006, kButton, "Parameter speichern", 219, 64, 83, 14, true},
    {1007, kButton, "Parameter aus Datei", 219, 86, 83, 14, true},
    {1008, kButton, "Parameter Korven--> PC", 219, 126, 83, 14, true},
    {1009, kButton, "Parameter PC-->Korven", 219, 148, 83, 14, true},
    {1001, kEdit, "", 30, 34, 40, 12, true},
    {1020, kButton, "Kalibrieren 0V", 16, 191, 83, 14, false},
    {1005, kButton, "Kalibrieren 100V", 16, 169, 83, 14, false},
    {1023, kButton, "Firmware Update", 118, 169, 83, 14, true},
    {1021, kButton, "COM3 testen", 118, 191, 83, 14, false},
    {130, ui::Kind::Picture, "", 171, 34, 13, 12, true},
    {1003, ui::Kind::Picture, "", 171, 34, 13, 12, true},
    {1010, kEdit, "", 263, 191, 40, 14, false},
    {1018, kCheck, "Invertieren", 111, 74, 49, 10, true},
    {1030, kEdit, "", 56, 55, 50, 14, true},
    {1032, kLabel, "Kal.-Faktor", 265, 183, 35, 8, false},
    {2, kButton, "Programm verlassen", 219, 169, 83, 14, true},
    {1019, kEdit, "", 271, 0, 40, 14, false},
    {1022, kEdit, "", 211, 191, 40, 14, false},
    {1033, kLabel, "Mittenspannung", 205, 183, 52, 8, false},
    {1035, kButton, "Parameter Drucken", 219, 107, 83, 14, true},
};

inline const std::set<int> kServiceControls = {1005, 1020, 1023, 1021, 1010, 1032, 1022, 1033};
