#include "ui/high_score_table.h"

#include <cstring>

#include "base/clock.h"
#include "base/messages.h"

std::string GameTypeTitle(int index) {
    switch (index) {
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
            entry.name[length] = static_cast<char>(code);
            entry.name[length + 1] = '\0';
        }
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
