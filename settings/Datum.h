// Datum selection: the 181 items of ComboBox_Datum and the rule that enables, disables and empties
// the five custom-datum parameter edits.
#pragma once

#include <array>

constexpr int kDatumItemCount = 181;  // "Custom" and the 180 listed datums

// Item 0 is "Custom" (datum index -1); item k is the datum of index k - 1. The index is the
// position, not the name: equal names at different positions are different datums.
// clang-format off
inline constexpr std::array<const char*, kDatumItemCount> kDatumItems = {
    "Custom",
    "WGS-84",  // 0
    "Tokyo from old J6 values",  // 1
    "NAD-27",  // 2
    "Alaska/Canada",  // 3
    "European",  // 4
    "Australian",  // 5
    "WGS-72",  // 6
    "NAD-83",  // 7
    "NAD-02",  // 8
    "Mexican",  // 9
    "Hawaiian",  // 10
    "Astronomic",  // 11
    "U.S. Navy",  // 12
    "European",  // 13
    "Australian 1984",  // 14
    "Adindan-Mean",  // 15
    "Adindan-Ethiopia",  // 16
    "Adindan-Mali",  // 17
    "Adindan-Senegal",  // 18
    "Adindan-Sudan",  // 19
    "Afgooye-Somalia",  // 20
    "Ain El Abd-Bahrain",  // 21
    "Anna 1 Astro 1965",  // 22
    "Arc 1950-Mean",  // 23
    "Arc 1950-Botswana",  // 24
    "Arc 1950-Lesotho",  // 25
    "Arc 1950-Malawi",  // 26
    "Arc 1950-Swaziland",  // 27
    "Arc 1950-Zaire",  // 28
    "Arc 1950-Zambia",  // 29
    "Arc 1950-Zimbabwe",  // 30
    "Arc 1960-Mean",  // 31
    "Arc 1960-Kenya",  // 32
    "Arc 1960-Tanzania",  // 33
    "Ascension Isl 1958",  // 34
    "Astro Beacon E 1945",  // 35
    "Astro B4 Sorol Atoll",  // 36
    "Astro Dos 71/4",  // 37
    "Astro Station 1952",  // 38
    "Australia Geo 1966",  // 39
    "Bellevue (IGN)",  // 40
    "Bermuda 1957",  // 41
    "Bogota Observatory",  // 42
    "Compo Inchauspe",  // 43
    "Canton Island 1966",  // 44
    "Cape",  // 45
    "Cape Canaveral Mean",  // 46
    "Carthage",  // 47
    "Chatham 1971",  // 48
    "Chua Astro",  // 49
    "Corrego Alegre",  // 50
    "Djakarta (Batavia)",  // 51
    "DOS 1968",  // 52
    "Easter Island 1967",  // 53
    "Euro 1950-Mean",  // 54
    "Euro 1950-Cyprus",  // 55
    "Euro 1950-Egypt",  // 56
    "Euro 1950-Eng/Scot",  // 57
    "Euro 1950-Eng/Ire",  // 58
    "Euro 1950-Greece",  // 59
    "Euro 1950-Iran",  // 60
    "Euro 1950-Sardinia",  // 61
    "Euro 1950-Sicily",  // 62
    "Euro 1950-Norway",  // 63
    "Euro 1950-Port/Spain",  // 64
    "European 1979",  // 65
    "Gandajika Base",  // 66
    "Geodetic Datum 1949",  // 67
    "Guam 1963",  // 68
    "GUX 1 Astro",  // 69
    "Hjorsey 1955",  // 70
    "Hong Kong 1963",  // 71
    "Indian-Thai/Viet",  // 72
    "Indian-India/Nepal",  // 73
    "Ireland 1965",  // 74
    "ISTS 073 Astro 1969",  // 75
    "Johnston Island 1961",  // 76
    "Kandawala",  // 77
    "Kerguelen Island",  // 78
    "Kertau 1948",  // 79
    "La Reunion",  // 80
    "L.C. 5 Astro",  // 81
    "Liberia 1964",  // 82
    "Luzon-Phillippines",  // 83
    "Luzon-Mindanao",  // 84
    "Mahe 1971",  // 85
    "Marco Astro",  // 86
    "Massawa",  // 87
    "Merchich",  // 88
    "Midway Astro 1961",  // 89
    "Minna",  // 90
    "Nahrwan-Masirah",  // 91
    "Nahrwan-UAE",  // 92
    "Nahrwan-Saudia",  // 93
    "Namibia",  // 94
    "Naparima",  // 95
    "NAD 27-Western US",  // 96
    "NAD 27-Eastern US",  // 97
    "NAD 27-Alaska",  // 98
    "NAD 27-Bahamas",  // 99
    "NAD 27-San Salvador",  // 100
    "NAD 27-Canada",  // 101
    "NAD 27-Alberta/BC",  // 102
    "NAD 27-East Canada",  // 103
    "NAD 27-Manitoba/Ont",  // 104
    "NAD 27-NW Ter/Sask",  // 105
    "NAD 27-Yukon",  // 106
    "NAD 27-Canal Zone",  // 107
    "NAD 27-Caribbean",  // 108
    "NAD 27-Central Amer",  // 109
    "NAD 27-Cuba",  // 110
    "NAD 27-Greenland",  // 111
    "NAD 27-Mexico",  // 112
    "NAD 83-Alaska",  // 113
    "NAD 83-Canada",  // 114
    "NAD 83-CONUS",  // 115
    "NAD 83-Mex/Cent Am",  // 116
    "Observatorio 1966",  // 117
    "Old Egyptian 1907",  // 118
    "Old Hawaiian-mean",  // 119
    "Old Hawaiian-Hawaii",  // 120
    "Old Hawaiian",  // 121
    "Old Hawaiian",  // 122
    "Old Hawaiian",  // 123
    "Oman",  // 124
    "Ord Sur Brit 1936-Mean",  // 125
    "OSB-England",  // 126
    "OSB-Ilse of Man",  // 127
    "OSB-Scotland/Shetland",  // 128
    "OSB-Wales",  // 129
    "Pico De Las Nieves",  // 130
    "Pitcairn Astro 1967",  // 131
    "Prov So Chilean",  // 132
    "Prov S. Amer 1956-Mean",  // 133
    "Prov S. Amer 1956-Bolivia",  // 134
    "Prov S. Amer 1956-N.Chile",  // 135
    "Prov S. Amer 1956-S.Chile",  // 136
    "Prov S. Amer 1956-Colombia",  // 137
    "Prov S. Amer 1956-Ecuador",  // 138
    "Prov S. Amer 1956-Guyana",  // 139
    "Prov S. Amer 1956-Peru",  // 140
    "Prov S. Amer 1956-Venezuela",  // 141
    "Puerto Rico",  // 142
    "Quatar National",  // 143
    "Qornoq",  // 144
    "Rome 1940",  // 145
    "Santa Braz",  // 146
    "Santo (DOS)",  // 147
    "Sapper Hill 1943",  // 148
    "S. American 1969-Mean",  // 149
    "S. American 1969-Argentina",  // 150
    "S. American 1969-Bolivia",  // 151
    "S. American 1969-Brazil",  // 152
    "S. American 1969-Chile",  // 153
    "S. American 1969-Colombia",  // 154
    "S. American 1969-Ecuador",  // 155
    "S. American 1969-Guyana",  // 156
    "S. American 1969-Paraguay",  // 157
    "S. American 1969-Peru",  // 158
    "S. American 1969-Trin/Tob",  // 159
    "S. American 1969-Venezuela",  // 160
    "South Asia",  // 161
    "Southeast Base",  // 162
    "Southwest Base",  // 163
    "Timbalai 1948",  // 164
    "Tokyo-Mean",  // 165
    "Tokyo-Korea",  // 166
    "Tokyo-Okinawa",  // 167
    "Tristan Astro 1968",  // 168
    "Viti Levu 1916",  // 169
    "Wake-Eniwetok",  // 170
    "Zanderij",  // 171
    "Bukit Rimpah",  // 172
    "Camp Area Astro",  // 173
    "Gunung Segara",  // 174
    "Herat North",  // 175
    "Hu-Tzu-Shan",  // 176
    "Tananarive Obser. 1925",  // 177
    "Yacare",  // 178
    "Tokyo GSI coords",  // 179
};
// clang-format on

// The five parameter edits, in the order they are enabled, disabled, emptied and captured.
inline constexpr std::array<const char*, 5> kCustomDatumEdits = {"Edit_DX", "Edit_DY", "Edit_DZ",
                                                                 "Edit_A_Axis", "Edit_Eccentricity"};

// True while the five parameter edits are enabled. False at start-up; changed only by
// ComboBox_DatumChange (and set to the edits' state when a window registers its settings view).
extern bool CustomDatumEditsEnabled;

// The change handler of ComboBox_Datum. fromOperator is true when the operator picked the item
// (the combo box is the sender): the five parameter texts are then emptied whatever was picked.
// ShowDatum calls it with false after selecting from code, keeping the texts it has just written.
// With no settings view registered there are no edits, and nothing changes.
void ComboBox_DatumChange(bool fromOperator);
inline constexpr bool kDatumPickedByOperator = true;
inline constexpr bool kDatumSelectedFromCode = false;

void EnableCustomDatumEdits();
void DisableCustomDatumEdits();
