// The two bonus items: when they appear, expire and are caught, and what they give.
#include "core/game_core.h"

namespace {
constexpr int BonusLifetime = 10;        // seconds an item stays (compared as "more than")
constexpr int PointsBonusInterval = 10;  // seconds between appearance attempts, slot 0
constexpr int ClearBonusInterval = 90;   // slot 1
constexpr int PlacementAttempts = 10;
constexpr int PointsBonusReward = 500;
}  // namespace

// Slot 0 first, then slot 1, each through appearance, expiry and catch. Everything runs on whole
// seconds of play, so paused time does not count.
void GameCore::RunBonusPass() {
    for (int slot = 0; slot < 2; ++slot) {
        BonusItem& item = state.bonus[slot];
        const BonusItem& other = state.bonus[1 - slot];
        const int elapsed = state.elapsedSeconds;
        const int interval = slot == PointsBonus ? PointsBonusInterval : ClearBonusInterval;

        if (state.bonusesEnabled && !item.active && elapsed - item.stamp > interval) {
            const bool chance = slot == PointsBonus ? RandomInt(1, 3) == 1 : RandomInt(1, 2) == 1;
            for (int attempt = 0; chance && attempt < PlacementAttempts; ++attempt) {
                const int column = RandomInt(1, 12);
                const int row = RandomInt(3, 20);
                const bool rejected = (other.active && other.column == column && other.row == row) ||
                                      IsCellOccupied(column, row) || PieceOccupies(column, row);
                if (!rejected) {
                    item.active = 1;
                    item.column = column;
                    item.row = row;
                    Play(EffectBonus);
                    Emit(GameEventKind::BonusAppeared, slot, column, row);
                    break;
                }
            }
            item.stamp = elapsed;
        }

        if (item.active && elapsed - item.stamp > BonusLifetime) {
            item.active = 0;
            Play(EffectBonus);
            item.stamp = elapsed;
            Emit(GameEventKind::BonusExpired, slot, item.column, item.row);
        }

        // Row + 1 as well: a step of two rows can carry the piece past the item's row.
        if (item.active && (IsCellOccupied(item.column, item.row) || PieceOccupies(item.column, item.row) ||
                            PieceOccupies(item.column, item.row + 1))) {
            item.active = 0;
            Play(EffectGetBonus);
            item.stamp = elapsed;
            if (slot == PointsBonus) {
                state.score += PointsBonusReward;
            } else {
                ClearWell();
            }
            Emit(GameEventKind::BonusCaught, slot, item.column, item.row);
        }
    }
}
