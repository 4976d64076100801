#include "ui/high_score_table.h"

#include <cstring>
#include <string_view>

#include "base/clock.h"
#include "base/messages.h"

namespace {
// The letters a pad turns through, in order.
constexpr std::string_view PadLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
}  // namespace

std::string GameTypeTitle(int index) {
    switch (index) {
        case 0:
            return "Classic Game without Bonuses";
        case 2:
            return "Color Blocks without Bonuses";
        case 4:
            return "Rotated Color Blocks without Bonuses";
        case 1:
            return "Classic Game";
        case 3:
            return "Color Blocks";
        case 5:
            return "Rotated Color Blocks";
        default:
            return "";
    }
}

void HighScoreTable::SelectTable(int t) {
    if (t >= 0 && t < HighScoreTableCount) currentTable = t;
}

bool HighScoreTable::OfferScore(uint32_t score) {
    const int row = store.Insert(currentTable, score);
    if (row < 0) return false;
    editRow = row;
    entryActive = true;
    return true;
}

void HighScoreTable::PlaySound(const std::string& name) {
    if (host) host->PlaySoundEvent(name);
}

void HighScoreTable::HandleNameKey(uint32_t messageId, uint64_t wParam) {
    if (!entryActive) return;
    HighScoreEntry& entry = Row(editRow);
    const size_t length = strnlen(entry.name, sizeof entry.name);
    const unsigned code = static_cast<unsigned>(wParam & 0xFF);
    if (messageId == WM_KEYDOWN) {
        if (code == VK_ESCAPE) {
            PlaySound("type_01");
            entryActive = false;
            store.Load();  // drops the new row and every change since the last save
        } else if (code == VK_RETURN && length > 0) {
            PlaySound("type_01");
            entryActive = false;
            store.Save();
        } else if (code == VK_BACK && length > 0) {
            PlaySound("type_01");
            entry.name[length - 1] = '\0';
        }
    } else if (messageId == WM_CHAR) {
        // Only characters the font can show: Enter, Tab, Backspace and other control codes arrive as
        // character messages too and must not end up in the name.
        if (code >= 0x20 && code != 0x7F && length < HighScoreNameMax) {
            PlaySound("type_01");
            entry.name[length] = static_cast<char>(code);
            entry.name[length + 1] = '\0';
        }
    } else if (messageId == WM_PADBUTTONDOWN) {
        HandlePadButton(static_cast<int>(wParam), entry, length);
    }
}

void HighScoreTable::HandlePadButton(int button, HighScoreEntry& entry, size_t length) {
    switch (button) {
        case PAD_DPUP:
        case PAD_DPDOWN: {
            if (length == 0) {
                entry.name[0] = 'A';
                entry.name[1] = '\0';
                PlaySound("type_01");
                return;
            }
            const size_t at = PadLetters.find(entry.name[length - 1]);
            const size_t count = PadLetters.size();
            const size_t next = at == std::string_view::npos ? 0
                                : button == PAD_DPUP         ? (at + 1) % count
                                                             : (at + count - 1) % count;
            entry.name[length - 1] = PadLetters[next];
            PlaySound("type_01");
            return;
        }
        case PAD_DPRIGHT:
            if (length < HighScoreNameMax) {
                entry.name[length] = 'A';
                entry.name[length + 1] = '\0';
                PlaySound("type_01");
            }
            return;
        case PAD_DPLEFT:
        case PAD_B:
            HandleNameKey(WM_KEYDOWN, VK_BACK);
            return;
        case PAD_A:
        case PAD_START:
            HandleNameKey(WM_KEYDOWN, VK_RETURN);
            return;
        default:
            return;
    }
}

void HighScoreTable::DrawRows(float top, float size, float x1, float x2, float x3) const {
    if (!host) return;
    // The cursor blinks once a second: "_" in the first half of each second of the tick count.
    const bool cursorShown = (TickCountMs() / 500) % 2 == 0;
    for (int r = 0; r < HighScoreRowCount; ++r) {
        const HighScoreEntry& entry = Entry(currentTable, r);
        const float y = top + static_cast<float>(r + 1) * size * 1.25f;
        const bool editing = entryActive && r == editRow;
        const uint32_t colour = editing ? HighScoreEditColour : HighScoreRowColour;
        std::string name(entry.name, strnlen(entry.name, sizeof entry.name));
        if (editing) name += cursorShown ? "_" : " ";
        host->DrawText(x1, y, size, colour, 0, std::to_string(r + 1));
        host->DrawName(x2, y, size, colour, name);
        host->DrawText(x3, y, size, colour, 0, std::to_string(entry.score));
    }
}
