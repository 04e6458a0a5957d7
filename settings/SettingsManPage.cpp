// The manual page of the settings text form, from the keys of the field table.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "bytes/ByteOrder.h"
#include "settings/Capture.h"
#include "settings/Conversions.h"
#include "settings/SettingsControls.h"
#include "settings/SettingsText.h"
#include "settings/SettingsTextParts.h"

using namespace settings_text;

namespace {

std::string Roff(std::string text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

std::string ValueDescription(const SettingsKey& key) {
    const SettingsField& field = key.layout;
    switch (field.kind) {
        case FieldKind::kRadio: {
            std::string text = "string, one of";
            for (const RadioButtonBinding* button : ButtonsOf(field))
                text += std::string(text.back() == 'f' ? " \"" : ", \"") + button->caption + "\" (" +
                        std::to_string(button->code) + ")";
            return text + "; or the code, integer 0 to 255";
        }
        case FieldKind::kCombo: {
            const ComboBoxBinding* combo = ComboOf(field);
            if (combo->items.size() > 10)
                return "string, a name of the datum list (\"Custom\" for the five parameters); or the index, "
                       "integer -32768 to 32767 (-1 custom, 0 to 179 the list)";
            std::string text = "string, one of";
            for (size_t i = 0; i < combo->items.size(); ++i)
                text += std::string(i == 0 ? " \"" : ", \"") + combo->items[i] + "\" (" +
                        std::to_string(CodeForItem(combo->rule, static_cast<int>(i))) + ")";
            return text + "; or the code, integer 0 to 255";
        }
        case FieldKind::kEdit: {
            const EditBinding* edit = EditOf(field);
            switch (edit->conversion) {
                case EditConversion::kStrictInteger:
                    return "integer; the low 8 bits are stored";
                case EditConversion::kScan:
                    if (edit->field == FieldType::kU32) return "integer, -2147483648 to 2147483647";
                    return std::string(edit->field == FieldType::kDouble ? "float, double precision"
                                                                         : "float, single precision") +
                           "; or \"hex:\" and its bytes";
                case EditConversion::kStrictReal:
                    return std::string(edit->field == FieldType::kDouble ? "float, double precision"
                                                                         : "float, single precision") +
                           (edit->degrees ? ", in degrees (held in radians)" : "") +
                           "; or \"hex:\" and its bytes";
            }
            return "";
        }
        case FieldKind::kCheckBox:
            return field.bit == kFlagByte
                       ? "boolean (any byte other than 0 is on; or the byte, integer 0 to 255)"
                       : "boolean, bit " + std::to_string(field.bit);
        case FieldKind::kOtherBits: {
            std::array<uint8_t, 4> masks{};
            std::copy(field.bitMasks.begin(), field.bitMasks.end(), masks.begin());
            return "string, hex \"0x...\" of the bits under mask 0x" + CompactHex(masks.data(), field.width);
        }
        case FieldKind::kBytes:
            return "string, hex of " + std::to_string(field.width) + (field.width == 1 ? " byte" : " bytes");
    }
    return "";
}

}  // namespace

std::string SettingsManPage() {
    std::string page =
        ".\\\" Generated from the settings field table by packaging/settings_man.cpp; do not edit.\n"
        ".TH VANDEL-SETTINGS 5 \"\" \"Vandel Configurator\" \"File Formats\"\n"
        ".SH NAME\n"
        "vandel-settings \\- the settings file of Vandel Configurator, binary and text\n"
        ".SH DESCRIPTION\n"
        "A settings file holds one settings image of 169 bytes: thirteen groups laid end to end, each with\n"
        "the byte shape of the receiver report that carries it. The binary form (.dat) is the image\n"
        "verbatim. The text form (.toml) is a TOML document with one table per group and one key per\n"
        "field; every key's comment gives the window's caption, the kind of control and the image offset.\n"
        "Every image goes to text and back to the same 169 bytes: values no control shows are hex, and a\n"
        "real that no decimal text gives back exactly is written as a string, \\fB\"hex:\\fR and its bytes\n"
        "(\\fB\"hex:7FC00001\"\\fR).\n"
        ".PP\n"
        "Values are read as the main window reads its controls: the same conversions, the same messages.\n"
        "A text file may name a base, \\fBbase = \"rack.toml\"\\fR (either form, relative to the file's own\n"
        "folder), and give only the keys that differ; bases may chain, cycles are refused. A key given\n"
        "without the keys the window writes along with it brings them along: the output baud rate\n"
        "follows the baud rate, and a listed datum sets the five custom parameters to 0.\n"
        ".PP\n"
        "\\fBvandel-cli show \\-\\-json\\fR gives each field's \\fBgroupOffset\\fR (within its group) and\n"
        "\\fBimageOffset\\fR (within the image).\n"
        ".SH KEYS\n";
    int group = 0;
    for (const SettingsKey& key : SettingsKeys()) {
        if (key.layout.group != group) {
            group = key.layout.group;
            const SettingsGroupInfo& info = SettingsGroup(group);
            page += ".SS [" + Roff(key.table) + "] " + Roff(info.name) + ", " +
                    Roff(ImageBytes(info.offset, info.length)) + "\n";
        }
        page += ".TP\n\\fB" + Roff(key.Path()) + "\\fR\n" + Roff(key.layout.name) + "; " +
                Roff(KindWord(key.layout)) +
                (key.layout.control.empty() ? std::string() : " " + Roff(key.layout.control)) + "; " +
                Roff(ImageBytes(key.ImageOffset(), key.layout.width)) + ".\n.br\n" +
                Roff(ValueDescription(key)) + ".\n";
    }
    page +=
        ".SH EXAMPLE\n"
        ".nf\n"
        "base = \"rack.toml\"\n"
        "[2d_altitude]\n"
        "altitude_m = 312.5\n"
        "[timing_output_settings]\n"
        "pps_offset_s = 1.2e\\-07\n"
        ".fi\n"
        ".SH SEE ALSO\n"
        "vandel\\-cli(1), vandel\\-configurator(1)\n";
    return page;
}
