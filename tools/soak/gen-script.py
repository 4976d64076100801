#!/usr/bin/env python3
"""Writes a random-input player for a headless soak run of Kelvane.

The player starts a game of the chosen mode through the menus, plays it with random key presses and
holds (Left, Right, Down, keypad 5 to turn, the pad's B to drop), pointer moves and right clicks,
pauses now and then (Esc or the
in-game pause button) and resumes with the pause screen's button, and after a while leaves the game
through a sequence that works from every state the game can be in by then: it types a name and Enter
(for a score that entered the table), pauses and ends the game, waits out the game-over phase, types
the name again, closes the high-score screen and starts the next game from the main menu.

The menus take the keyboard and the pads, so the random keys are ones that can move a menu's focus but
never press a button (Return, Space and the pad's A would, and could reach Exit once a game has ended):
keypad 5 turns and the pad's B drops in play, and B only goes back in a menu; names are saved with the
pad's Start.

Every click is a click at a point, never at a named action, so a click that lands on a screen other
than the one the player expected does nothing instead of ending the run. The points are the centres of
the buttons read from the game directory's screen files, and the generator refuses to write a script
in which one of the player's points would hit the main menu's Exit button or a game-start button of
the selection screen by accident.

Usage: gen-script.py --game-dir DIR --mode 1..6 --frames N [--seed S] [--out FILE]
"""
import argparse
import random
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

WIDTH, HEIGHT = 800, 600


def read_buttons(game_dir):
    """{screen file: {action: (left, top, right, bottom)}} in client pixels of the 800 x 600 window."""
    screens = {}
    for name in ("menu-main.xml", "menu-selectgame.xml", "menu-ingame.xml", "menu-pause.xml",
                 "menu-highscores.xml", "menu-options.xml"):
        path = Path(game_dir) / name
        boxes = {}
        try:
            root = ET.parse(path).getroot()
        except (OSError, ET.ParseError) as error:
            sys.exit(f"gen-script: cannot read {path}: {error}")
        for element in root:
            action = element.get("action")
            if not action or element.tag != "Button":
                continue
            xc, yc = float(element.get("xc", 0)), float(element.get("yc", 0))
            w, h = float(element.get("width", 0)), float(element.get("height", 0))
            boxes[action] = ((xc - w / 2) * WIDTH, (yc - h / 2) * HEIGHT, (xc + w / 2) * WIDTH, (yc + h / 2) * HEIGHT)
        screens[name] = boxes
    return screens


def centre(box):
    return int((box[0] + box[2]) / 2), int((box[1] + box[3]) / 2)


def inside(box, point):
    return box[0] <= point[0] < box[2] and box[1] <= point[1] < box[3]


class Player:
    def __init__(self, screens, mode, frames, rng):
        self.rng = rng
        self.mode = mode
        self.frames = frames
        self.frame = 0
        self.lines = [f"# Random player: mode {mode}, {frames} frames"]
        try:
            self.new_game = centre(screens["menu-main.xml"]["procNewGame"])
            self.start = centre(screens["menu-selectgame.xml"][f"procStart{mode}"])
            self.pause_button = centre(screens["menu-ingame.xml"]["procPause"])
            self.resume = centre(screens["menu-pause.xml"]["procResume"])
            self.end = centre(screens["menu-pause.xml"]["procEnd"])
            self.close_scores = centre(screens["menu-highscores.xml"]["procClose"])
        except KeyError as missing:
            sys.exit(f"gen-script: the screen files have no button {missing}")
        # The points the player clicks outside the screen they are meant for must not exit the game,
        # open another screen or start a game of another mode.
        dangerous = [screens["menu-main.xml"][a] for a in ("procExit", "procOptions")]
        dangerous += [box for action, box in screens["menu-selectgame.xml"].items() if action != f"procStart{mode}"]
        for point in (self.resume, self.end, self.close_scores, self.pause_button):
            for box in dangerous:
                if inside(box, point):
                    sys.exit(f"gen-script: the click at {point} would also hit a menu button; check the screen files")

    def emit(self, line):
        self.lines.append(line)

    def wait(self, n):
        n = max(1, int(n))
        self.emit(f"wait {n}")
        self.frame += n

    def click(self, point):
        self.emit(f"click {point[0]} {point[1]}")

    def start_game(self):
        self.click(self.new_game)
        self.wait(self.rng.randint(5, 40))
        self.click(self.start)
        self.wait(self.rng.randint(1, 10))

    def name_entry(self):
        # The pad's Start saves a name like Return, but unlike Return it presses no menu button (the
        # random keys may have left the main menu's focus on Exit).
        self.emit(f"text P{self.rng.randint(0, 999)}")
        self.emit("pad press start")

    def leave_game(self):
        self.name_entry()
        self.wait(2)
        if self.rng.random() < 0.5:
            self.emit("key press Esc")
        else:
            self.click(self.pause_button)
        self.wait(self.rng.randint(5, 60))
        self.click(self.end)
        self.wait(180)  # longer than the game-over phase
        self.name_entry()
        self.wait(self.rng.randint(5, 60))
        self.click(self.close_scores)
        self.wait(self.rng.randint(5, 30))

    def random_input(self):
        r = self.rng.random()
        presses = ["key press Left", "key press Right", "key press Numpad5", "key press Down", "pad press b", "pad press b"]
        if r < 0.40:
            self.emit(self.rng.choice(presses))
        elif r < 0.55:
            key = self.rng.choice(["Left", "Right", "Down", "Down"])
            self.emit(f"key down {key}")
            self.wait(self.rng.randint(3, 60))
            self.emit(f"key up {key}")
        elif r < 0.80:
            self.emit(f"move {self.rng.randint(0, WIDTH - 1)} {self.rng.randint(0, HEIGHT - 1)}")
        elif r < 0.95:
            x, y = self.rng.randint(0, WIDTH - 1), self.rng.randint(0, HEIGHT - 1)
            self.emit(f"button right down {x} {y}")
            self.wait(self.rng.randint(1, 8))
            self.emit(f"button right up {x} {y}")
        elif r < 0.985:
            self.emit(f"key press {self.rng.choice(['Left', 'Right'])}")
            self.emit(self.rng.choice(["key press Numpad5", "pad press b"]))
        else:
            # A pause: Esc, P or the in-game button; resumed with the pause screen's button.
            how = self.rng.random()
            if how < 0.5:
                self.emit("key press Esc")
            elif how < 0.75:
                self.emit("key press P")
            else:
                self.click(self.pause_button)
            self.wait(self.rng.randint(10, 600))
            self.click(self.resume)
        self.wait(self.rng.randint(2, 30))

    def write(self):
        self.wait(30)  # the first menu frames
        while self.frame < self.frames:
            self.start_game()
            game_end = self.frame + self.rng.randint(20 * 60, 150 * 60)
            while self.frame < min(game_end, self.frames):
                self.random_input()
            if self.frame < self.frames:
                self.leave_game()
        self.emit("quit")
        return "\n".join(self.lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--game-dir", required=True)
    parser.add_argument("--mode", type=int, required=True, choices=range(1, 7))
    parser.add_argument("--frames", type=int, required=True)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--out", default="-")
    args = parser.parse_args()
    if args.frames < 1:
        sys.exit("gen-script: --frames must be at least 1")
    text = Player(read_buttons(args.game_dir), args.mode, args.frames, random.Random(args.seed * 10 + args.mode)).write()
    if args.out == "-":
        sys.stdout.write(text)
    else:
        Path(args.out).write_text(text)


if __name__ == "__main__":
    main()
