#include "ui/screen.h"

#include <gmock/gmock.h>

#include "ui_test_support.h"

using ::testing::ElementsAre;

namespace {

// The screens' states kept in config.ini [OPTIONS], as the game keeps them.
class ConfigOptions : public ScreenOptionStore {
public:
    bool ReadOptionInt(const std::string& name, int& value) override {
        return ReadConfigInt("OPTIONS", name, value);
    }
    bool ReadOptionFloat(const std::string& name, float& value) override {
        return ReadConfigFloat("OPTIONS", name, value);
    }
    void StoreOption(const std::string& name, const std::string& value) override {
        WriteConfigString("OPTIONS", name, value);
    }
};

class ScreenTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        sounds.clear();
        SetScreenSoundPlayer([this](const std::string& file) { sounds.push_back(file); });
        SetScreenOptionStore(&options);
    }
    void TearDown() override {
        SetScreenOptionStore(nullptr);
        SetScreenSoundPlayer(nullptr);
        UiTest::TearDown();
    }
    ConfigOptions options;
    Screen Load(const std::string& body, const std::string& screenAttributes = "") {
        WriteFile("menu-test.xml",
                  "<?xml version=\"1.0\"?>\n<Screen " + screenAttributes + ">\n" + body + "</Screen>\n");
        Screen screen;
        EXPECT_EQ(screen.LoadFromXml("menu-test.xml"), 1);
        return screen;
    }
    static void WriteConfig(const std::string& options) {
        WriteFile("config.ini", "[OPTIONS]\r\n" + options);
        IniForgetCache();
    }
    static std::string Option(const std::string& key) {
        std::string value;
        ReadConfigString("OPTIONS", key, value);
        return value;
    }
    std::vector<std::string> DrawnTextures() {
        std::vector<std::string> names;
        for (const auto& draw : device.draws) {
            auto* fake = dynamic_cast<const FakeTexture*>(draw.texture);
            names.push_back(fake ? fake->path : "none");
        }
        return names;
    }
    std::vector<std::string> sounds;
};

// A 200 x 150 pixel button in the middle of the 800 x 600 window: x 300..500, y 225..375.
const char* const MiddleButton =
    "<Button name=\"btnSound\" xc=\"0.5\" yc=\"0.5\" width=\"0.25\" height=\"0.25\" outImg=\"out.tga\" "
    "overImg=\"over.tga\" outImgChecked=\"outc.tga\" overImgChecked=\"overc.tga\" "
    "action=\"procSoundMode\"/>\n";

TEST_F(ScreenTest, ElementKindsMayComeInAnyOrder) {
    const std::string button1 = "<Button name=\"b1\" xc=\"0.2\" action=\"procA\"/>\n";
    const std::string button2 = "<Button name=\"b2\" xc=\"0.4\" action=\"procB\"/>\n";
    const std::string image = "<Image img=\"i.tga\" xc=\"0.1\" width=\"0.3\"/>\n";
    const std::string text = "<Text name=\"txtA\" text=\"Hello\" xc=\"0.7\" size=\"0.05\"/>\n";
    device.AddFile("i.tga", 8, 8);
    Screen first = Load(button1 + button2 + image + text);
    first.Draw();
    const std::vector<std::string> firstDraws = DrawnTextures();
    device.ClearRecord();
    Screen second = Load(image + button1 + text + button2);
    second.Draw();
    EXPECT_EQ(DrawnTextures(), firstDraws);
    ASSERT_EQ(second.Buttons().size(), 2u);
    EXPECT_EQ(second.Buttons()[0].name, "b1");
    EXPECT_EQ(second.Buttons()[1].action, "procB");
    EXPECT_EQ(second.Images().size(), 1u);
    EXPECT_FLOAT_EQ(second.GetTextSize("txtA"), 0.05f);
}

TEST_F(ScreenTest, OnlyDirectChildrenOfTheFirstScreenCount) {
    WriteFile(
        "menu-test.xml",
        "<Screen bgImage=\"bg.tga\" xc=\"0.5\" yc=\"0.5\" width=\"1\" height=\"1\" clickSound=\"c.wav\">"
        "<Button name=\"top\"/><Group><Button name=\"nested\"/></Group><Button name=\"x\"><Button "
        "name=\"inner\"/>"
        "</Button><Widget name=\"odd\"/></Screen><Screen><Button name=\"second\"/></Screen>");
    Screen screen;
    ASSERT_EQ(screen.LoadFromXml("menu-test.xml"), 1);
    ASSERT_EQ(screen.Buttons().size(), 2u);
    EXPECT_EQ(screen.Buttons()[0].name, "top");
    EXPECT_EQ(screen.Buttons()[1].name, "x");
    EXPECT_EQ(screen.bgImage, "bg.tga");
    EXPECT_EQ(screen.clickSound, "c.wav");
}

TEST_F(ScreenTest, UnreadableFilesLeaveAnEmptyScreenAndALogLine) {
    Screen screen = Load(MiddleButton);
    EXPECT_EQ(screen.LoadFromXml("menu-missing.xml"), 0);
    EXPECT_TRUE(screen.Buttons().empty());
    WriteFile("menu-bad.xml", "<Screen><Button name=\"a\"></Screen>");
    EXPECT_EQ(screen.LoadFromXml("menu-bad.xml"), 0);
    WriteFile("menu-empty.xml", "");
    EXPECT_EQ(screen.LoadFromXml("menu-empty.xml"), 0);
    EXPECT_EQ(screen.LoadFromXml("."), 0);  // a directory
    // Each with its reason.
    EXPECT_THAT(
        LogLines(),
        ElementsAre("Fatal error, cannot load XML: menu-missing.xml (No such file or directory)",
                    testing::StartsWith("Fatal error, cannot load XML: menu-bad.xml (Error=XML_ERROR_"),
                    "Fatal error, cannot load XML: menu-empty.xml (empty file)",
                    "Fatal error, cannot load XML: . (not a regular file)"));
    EXPECT_TRUE(screen.LoadFailed());
    EXPECT_EQ(screen.FileName(), ".");
    // The empty screen draws nothing and answers nothing.
    screen.Draw();
    EXPECT_TRUE(device.calls.empty());
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 400, 300, true), "");

    WriteFile("menu-other.xml", "<Menu><Button name=\"a\"/></Menu>");
    EXPECT_EQ(screen.LoadFromXml("menu-other.xml"), 1);
    EXPECT_TRUE(screen.Buttons().empty());
}

TEST_F(ScreenTest, HugeAndDeeplyNestedFilesAreRefusedCalmly) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    WriteFile("menu-deep.xml", "<Screen>" + deep + "</Screen>");
    Screen screen;
    EXPECT_EQ(screen.LoadFromXml("menu-deep.xml"), 0);
    WriteFile("menu-huge.xml", "<Screen>" + std::string(MaxScreenFileSize, ' ') + "</Screen>");
    EXPECT_EQ(screen.LoadFromXml("menu-huge.xml"), 0);
    EXPECT_EQ(CountLog("Fatal error, cannot load XML: menu-huge.xml (larger than a screen file can be)"), 1);
}

TEST_F(ScreenTest, FieldsAreCutAndCapacitiesKeptWithLogLines) {
    const std::string longName(45, 'n'), longText(120, 't');
    std::string body = "<Button name=\"" + longName + "\" action=\"procA\"/>\n<Text name=\"t\" text=\"" +
                       longText + "\"/>\n<Text name=\"u\" text=\"" + std::string(99, 'u') + "\"/>\n";
    for (int i = 0; i < 52; ++i) body += "<Button name=\"b" + std::to_string(i) + "\"/>\n";
    for (int i = 0; i < 7; ++i) body += "<Slider name=\"s" + std::to_string(i) + "\"/>\n";
    Screen screen = Load(body);
    EXPECT_EQ(screen.Buttons()[0].name, std::string(39, 'n'));
    EXPECT_EQ(screen.Texts()[0].text, std::string(99, 't'));
    EXPECT_EQ(screen.Texts()[1].text.size(), 99u);
    EXPECT_EQ(screen.Buttons().size(), 50u);
    EXPECT_EQ(screen.Buttons().back().name, "b48");
    EXPECT_EQ(screen.Sliders().size(), 5u);
    EXPECT_EQ(CountLog("Screen 'menu-test.xml': attribute 'name' cut to 39 characters"), 1);
    EXPECT_EQ(CountLog("Screen 'menu-test.xml': attribute 'text' cut to 99 characters"), 1);
    EXPECT_EQ(CountLog("Screen 'menu-test.xml': more than 50 buttons, button ignored"), 3);
    EXPECT_EQ(CountLog("Screen 'menu-test.xml': more than 5 sliders, slider ignored"), 2);
}

TEST_F(ScreenTest, AFloodOfProblemsIsSummedUpNotListed) {
    std::string body;
    for (int i = 0; i < 500; ++i) body += "<Image/>";
    Load(body);
    EXPECT_EQ(CountLog("Screen 'menu-test.xml': more than 20 images, image ignored"), 20);
    EXPECT_EQ(CountLog("Screen 'menu-test.xml': 460 more problems not listed"), 1);
}

TEST_F(ScreenTest, NumbersReadTheirLeadingDecimal) {
    Screen screen = Load(
        "<Text name=\"a\" xc=\"0.5abc\" yc=\"word\" size=\" -2e-1\"/>\n<Text name=\"b\" xc=\"nan\" "
        "yc=\"1e999\"/>\n");
    EXPECT_FLOAT_EQ(screen.GetTextX("a"), 0.5f);
    EXPECT_FLOAT_EQ(screen.GetTextY("a"), 0.0f);
    EXPECT_FLOAT_EQ(screen.GetTextSize("a"), -0.2f);
    EXPECT_FLOAT_EQ(screen.GetTextX("b"), 0.0f);
    EXPECT_FLOAT_EQ(screen.GetTextY("b"), 0.0f);
}

TEST_F(ScreenTest, StoredOptionsRestoreCheckBoxesAndSliders) {
    WriteConfig("btnSound=1\r\nbtnPlain=1\r\nbtnMusic=0.9\r\nsldVolume=0.25\r\nsldWild=7\r\nsldNan=nan\r\n");
    Screen screen =
        Load(std::string(MiddleButton) +
             "<Button name=\"btnPlain\"/>\n<Button name=\"btnMusic\" outImgChecked=\"c.tga\"/>\n"
             "<Button name=\"btnNew\" outImgChecked=\"c.tga\"/>\n<Slider name=\"sldVolume\"/>\n"
             "<Slider name=\"sldFresh\"/>\n<Slider name=\"sldWild\"/>\n<Slider name=\"sldNan\"/>\n");
    EXPECT_EQ(screen.IsChecked("btnSound"), 1);
    EXPECT_EQ(screen.IsChecked("btnPlain"), 0);  // not checkable: the stored key is ignored
    EXPECT_EQ(screen.IsChecked("btnMusic"), 0);  // 0.9 truncates to 0
    EXPECT_EQ(screen.IsChecked("btnNew"), 0);
    EXPECT_FLOAT_EQ(screen.Sliders()[0].value, 0.25f);
    EXPECT_FLOAT_EQ(screen.Sliders()[1].value, 0.75f);
    EXPECT_FLOAT_EQ(screen.Sliders()[2].value, 1.0f);  // kept on the track
    EXPECT_FLOAT_EQ(screen.Sliders()[3].value, 0.75f);
    EXPECT_EQ(screen.IsChecked("btnNone"), 0);
}

TEST_F(ScreenTest, HitBoxesExcludeTheirBoundaryPixels) {
    Screen screen = Load(MiddleButton);
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 300, 300, true), "");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 301, 300, true), "procSoundMode");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 499, 300, true), "procSoundMode");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 500, 300, true), "");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 400, 225, true), "");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 400, 226, true), "procSoundMode");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 400, 374, true), "procSoundMode");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 400, 375, true), "");
    // Other messages are not acted on.
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONUP, 400, 300, false), "");
    EXPECT_EQ(screen.HandleMouse(WM_KEYDOWN, 400, 300, true), "");
    EXPECT_EQ(screen.Buttons()[0].hovered, 0);
}

TEST_F(ScreenTest, HoverSoundPlaysOncePerEntry) {
    Screen screen = Load(MiddleButton, "overSound=\"Sound\\over.ogg\" clickSound=\"Sound\\click.ogg\"");
    EXPECT_EQ(screen.HandleMouse(WM_MOUSEMOVE, 400, 300, false), "");
    EXPECT_EQ(screen.Buttons()[0].hovered, 1);
    screen.HandleMouse(WM_MOUSEMOVE, 410, 310, false);
    EXPECT_THAT(sounds, ElementsAre("Sound\\over.ogg"));
    screen.HandleMouse(WM_MOUSEMOVE, 10, 10, false);
    EXPECT_EQ(screen.Buttons()[0].hovered, 0);
    screen.HandleMouse(WM_MOUSEMOVE, 400, 300, false);
    EXPECT_THAT(sounds, ElementsAre("Sound\\over.ogg", "Sound\\over.ogg"));
    // A click leaves the hover state alone and plays the click sound.
    screen.HandleMouse(WM_LBUTTONDOWN, 400, 300, true);
    EXPECT_THAT(sounds, ElementsAre("Sound\\over.ogg", "Sound\\over.ogg", "Sound\\click.ogg"));
    EXPECT_EQ(screen.Buttons()[0].hovered, 1);
}

TEST_F(ScreenTest, CheckBoxesFlipAndStoreThemselves) {
    Screen screen = Load(std::string(MiddleButton) +
                         "<Button name=\"btnPlay\" xc=\"0.5\" yc=\"0.1\" width=\"0.2\" height=\"0.1\" "
                         "action=\"procPlay\"/>\n");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 400, 300, true), "procSoundMode");
    EXPECT_EQ(screen.IsChecked("btnSound"), 1);
    EXPECT_EQ(Option("btnSound"), "1");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 400, 300, true), "procSoundMode");
    EXPECT_EQ(Option("btnSound"), "0");

    // A plain button only answers its action.
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 400, 60, true), "procPlay");
    EXPECT_EQ(Option("btnPlay"), "");
    EXPECT_EQ(screen.IsChecked("btnPlay"), 0);
}

TEST_F(ScreenTest, SetCheckedSetsEveryButtonOfThatNameAndAnyOfThemCounts) {
    Screen screen = Load(std::string(MiddleButton) + "<Button name=\"btnSound\" outImgChecked=\"x.tga\"/>\n");
    screen.SetChecked("btnSound", 1);
    EXPECT_EQ(screen.Buttons()[0].checked, 1);
    EXPECT_EQ(screen.Buttons()[1].checked, 1);
    EXPECT_EQ(Option("btnSound"), "1");
    screen.SetChecked("btnNobody", 1);
    EXPECT_EQ(Option("btnNobody"), "");

    // A plain button before the check box of the same name: the check box restored from the options
    // answers for the name.
    WriteConfig("btnMusic=1\r\n");
    Screen plainFirst =
        Load("<Button name=\"btnMusic\"/>\n<Button name=\"btnMusic\" outImgChecked=\"c.tga\"/>\n");
    EXPECT_EQ(plainFirst.Buttons()[0].checked, 0);
    EXPECT_EQ(plainFirst.IsChecked("btnMusic"), 1);
}

TEST_F(ScreenTest, PicturesFollowHoverAndCheckedStates) {
    for (const char* name : {"out.tga", "over.tga", "outc.tga", "overc.tga"}) device.AddFile(name, 10, 10);
    Screen screen = Load(MiddleButton);
    screen.Draw();
    screen.HandleMouse(WM_MOUSEMOVE, 400, 300, false);
    screen.Draw();
    screen.SetChecked("btnSound", 1);
    screen.Draw();
    screen.HandleMouse(WM_MOUSEMOVE, 0, 0, false);
    screen.Draw();
    EXPECT_THAT(DrawnTextures(), ElementsAre("out.tga", "over.tga", "overc.tga", "outc.tga"));
}

TEST_F(ScreenTest, DrawsBackgroundImagesTextsButtonsSlidersInThatOrder) {
    for (const char* name : {"bg.tga", "img.tga", "out.tga", "track.tga", "thumb.tga", "Graphics/font01.tga"})
        device.AddFile(name, 16, 16);
    WriteFile("language.ini", "[ENGLISH]\r\nSymbolList=A\r\n");
    bitmapFont.LoadSymbolWidths("Graphics\\font01.tga");
    Screen screen = Load(
        "<Slider outSliderImg=\"track.tga\" outThumbImg=\"thumb.tga\"/>\n"
        "<Button outImg=\"out.tga\" width=\"0.1\" height=\"0.1\"/>\n<Text text=\"A\" size=\"0.04\"/>\n"
        "<Text name=\"markOnly\"/>\n<Image img=\"img.tga\"/>\n",
        "bgImage=\"bg.tga\" xc=\"0.5\" yc=\"0.5\" width=\"1\" height=\"1\"");
    device.ClearRecord();
    screen.Draw();
    EXPECT_THAT(DrawnTextures(),
                ElementsAre("bg.tga", "img.tga", "Graphics/font01.tga", "out.tga", "track.tga", "thumb.tga"));
    for (const auto& draw : device.draws) EXPECT_EQ(draw.vertices[0].diffuse, 0xFFFFFFFFu);
}

TEST_F(ScreenTest, OwnSizeButtonsTakeTheirPicturesSizeWhenDrawn) {
    device.AddFile("small.tga", 80, 60);
    device.AddFile("Graphics/font01.tga", 256, 260);  // 32.5-pixel cells: the label is 32 pixels high
    bitmapFont.LoadSymbolWidths("Graphics\\font01.tga");
    Screen screen = Load(
        "<Button name=\"b\" stretch=\"no\" xc=\"0.5\" yc=\"0.5\" width=\"0.5\" height=\"0.5\" "
        "outImg=\"small.tga\" action=\"procB\"/>\n");
    // Before drawing, the file's size counts.
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 250, 300, true), "procB");
    screen.Draw();
    EXPECT_FLOAT_EQ(screen.Buttons()[0].width, 0.1f);
    EXPECT_FLOAT_EQ(screen.Buttons()[0].height, 0.1f);
    EXPECT_FLOAT_EQ(screen.Buttons()[0].labelSize, 32.0f / 600);
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 250, 300, true), "");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 439, 300, true), "procB");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 440, 300, true), "");
    // Drawn at its pixel size.
    const auto& v = device.draws.back().vertices;
    EXPECT_FLOAT_EQ(v[1].x - v[0].x, 80);

    // A stretched button's label keeps the common size.
    Screen stretched = Load("<Button width=\"0.5\" height=\"0.5\"/>\n");
    stretched.Draw();
    EXPECT_FLOAT_EQ(stretched.Buttons()[0].labelSize, 0.04f);
}

TEST_F(ScreenTest, OwnSizeButtonWithAMissingPictureKeepsItsSizeAndDrawsNoQuad) {
    Screen screen = Load(
        "<Button stretch=\"no\" xc=\"0.5\" yc=\"0.5\" width=\"0.5\" height=\"0.5\" outImg=\"gone.tga\"/>\n");
    screen.Draw();
    EXPECT_TRUE(device.draws.empty());
    EXPECT_FLOAT_EQ(screen.Buttons()[0].width, 0.5f);
}

TEST_F(ScreenTest, LabelsArePlacedByTheirAlignment) {
    device.AddFile("Graphics/font01.tga", 256, 256);
    WriteFile("language.ini", "[ENGLISH]\r\nSymbolList=A\r\nLine01_Width=16\r\n");
    bitmapFont.LoadSymbolWidths("Graphics\\font01.tga");
    const float cellW = 0.04f * (16.0f / 800) / (32.0f / 600);
    Screen screen = Load(
        "<Button text=\"A\" align=\"left\" xc=\"0.5\" yc=\"0.5\" width=\"0.1\" height=\"0.1\"/>\n"
        "<Button text=\"A\" align=\"right\" xc=\"0.5\" yc=\"0.5\" width=\"0.1\" height=\"0.1\"/>\n"
        "<Button text=\"A\" align=\"Left\" xc=\"0.5\" yc=\"0.5\" width=\"0.1\" height=\"0.1\"/>\n");
    device.ClearRecord();
    screen.Draw();
    std::vector<float> glyphCentres;
    for (const auto& draw : device.draws)
        if (draw.texture == bitmapFont.FontTexture())
            glyphCentres.push_back((draw.vertices[0].x + draw.vertices[1].x) / 2 + 0.5f);
    ASSERT_EQ(glyphCentres.size(), 3u);
    EXPECT_NEAR(glyphCentres[0], (0.6f + cellW / 2) * 800, 1e-3);  // begins at xc + width
    EXPECT_NEAR(glyphCentres[1], (0.4f - cellW / 2) * 800, 1e-3);  // ends at xc - width
    EXPECT_NEAR(glyphCentres[2], 400, 1e-3);                       // "Left" is not "left": centred
}

TEST_F(ScreenTest, SlidersFollowAHeldButtonOverTheirTrack) {
    device.AddFile("track.tga", 200, 20);
    device.AddFile("thumb.tga", 20, 20);
    // Track 200 x 20 pixels around (400, 300): x 300..500.
    Screen screen = Load(
        "<Slider name=\"sldVolume\" xc=\"0.5\" yc=\"0.5\" outSliderImg=\"track.tga\" "
        "overSliderImg=\"track.tga\" outThumbImg=\"thumb.tga\" overThumbImg=\"thumb.tga\" "
        "action=\"procVolume\"/>\n",
        "overSound=\"o.wav\" clickSound=\"c.wav\"");
    screen.Draw();
    // The default value puts the thumb three quarters along the track.
    const auto& thumb = device.draws.back().vertices;
    EXPECT_NEAR((thumb[0].x + thumb[1].x) / 2 + 0.5f, 300 + 0.75f * 200, 1e-3);

    EXPECT_EQ(screen.HandleMouse(WM_MOUSEMOVE, 350, 300, false), "");
    EXPECT_EQ(screen.Sliders()[0].hovered, 1);
    EXPECT_FLOAT_EQ(screen.Sliders()[0].value, 0.75f);
    EXPECT_EQ(screen.HandleMouse(WM_MOUSEMOVE, 350, 300, true), "procVolume");
    EXPECT_FLOAT_EQ(screen.Sliders()[0].value, 0.25f);
    EXPECT_EQ(Option("sldVolume"), "0.250000");
    EXPECT_EQ(screen.HandleMouse(WM_MOUSEMOVE, 450, 300, true), "procVolume");
    EXPECT_FLOAT_EQ(screen.Sliders()[0].value, 0.75f);
    // Off the track the drag ends.
    EXPECT_EQ(screen.HandleMouse(WM_MOUSEMOVE, 450, 320, true), "");
    EXPECT_EQ(screen.Sliders()[0].hovered, 0);
    EXPECT_FLOAT_EQ(screen.Sliders()[0].value, 0.75f);
    EXPECT_THAT(sounds, ElementsAre("o.wav"));

    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 400, 300, true), "procVolume");
    EXPECT_FLOAT_EQ(screen.Sliders()[0].value, 0.5f);
    EXPECT_EQ(Option("sldVolume"), "0.500000");
    EXPECT_THAT(sounds, ElementsAre("o.wav", "c.wav"));
}

TEST_F(ScreenTest, TheFirstWidgetUnderThePointerWins) {
    device.AddFile("track.tga", 200, 20);
    Screen screen = Load(
        std::string("<Slider xc=\"0.5\" yc=\"0.5\" outSliderImg=\"track.tga\" action=\"procSlide\"/>\n") +
        "<Button xc=\"0.5\" yc=\"0.5\" width=\"0.1\" height=\"0.1\" action=\"procFirst\"/>\n" +
        "<Button xc=\"0.5\" yc=\"0.5\" width=\"0.3\" height=\"0.3\" action=\"procSecond\"/>\n");
    screen.Draw();
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 400, 300, true), "procFirst");
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, 480, 300, true), "procSecond");
    EXPECT_FLOAT_EQ(screen.Sliders()[0].value, 0.75f);
}

TEST_F(ScreenTest, TextPositionsAnswerTheFirstOfAName) {
    Screen screen = Load(
        "<Text name=\"txtScoreNum\" xc=\"0.8\" yc=\"0.3\" size=\"0.05\"/>\n"
        "<Text name=\"txtScoreNum\" xc=\"0.1\" yc=\"0.2\"/>\n<Text name=\"TXTLEVELNUM\" xc=\"0.4\"/>\n");
    EXPECT_FLOAT_EQ(screen.GetTextX("txtScoreNum"), 0.8f);
    EXPECT_FLOAT_EQ(screen.GetTextY("txtScoreNum"), 0.3f);
    EXPECT_FLOAT_EQ(screen.GetTextSize("txtScoreNum"), 0.05f);
    EXPECT_FLOAT_EQ(screen.GetTextX("txtLevelNum"), 0.0f);
    EXPECT_FLOAT_EQ(screen.GetTextY("txtNothing"), 0.0f);
}

TEST_F(ScreenTest, ActionCentresAreClickable) {
    device.AddFile("track.tga", 200, 20);
    Screen screen = Load(
        "<Button xc=\"0.1\" yc=\"0.9\" width=\"0.05\" height=\"0.05\" action=\"procExit\"/>\n"
        "<Button xc=\"0.3\" yc=\"0.9\" width=\"0.05\" height=\"0.05\" action=\"procExit\"/>\n"
        "<Slider xc=\"0.5\" yc=\"0.2\" outSliderImg=\"track.tga\" action=\"procVolume\"/>\n");
    screen.Draw();
    const std::optional<Point> exit = screen.FindActionCentre("procExit");
    ASSERT_TRUE(exit.has_value());
    EXPECT_NEAR(exit->x, 80, 1);
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, exit->x, exit->y, true), "procExit");
    const std::optional<Point> volume = screen.FindActionCentre("procVolume");
    ASSERT_TRUE(volume.has_value());
    EXPECT_EQ(screen.HandleMouse(WM_LBUTTONDOWN, volume->x, volume->y, true), "procVolume");
    EXPECT_FALSE(screen.FindActionCentre("procNone").has_value());
    EXPECT_FALSE(screen.FindActionCentre("").has_value());
}

// A menu in two columns with a closing row and a slider, laid out like the game's screens: the
// keyboard's and the pad's moves go from widget to widget by where they stand.
const char* const TwoColumns =
    "<Button name=\"a1\" xc=\"0.3\" yc=\"0.3\" width=\"0.3\" height=\"0.07\" action=\"procA1\"/>\n"
    "<Button name=\"b1\" xc=\"0.7\" yc=\"0.3\" width=\"0.3\" height=\"0.07\" action=\"procB1\"/>\n"
    "<Button name=\"a2\" xc=\"0.3\" yc=\"0.4\" width=\"0.3\" height=\"0.07\" action=\"procA2\"/>\n"
    "<Button name=\"b2\" xc=\"0.7\" yc=\"0.4\" width=\"0.3\" height=\"0.07\" action=\"procB2\"/>\n"
    "<Button name=\"close\" xc=\"0.5\" yc=\"0.8\" width=\"0.3\" height=\"0.07\" action=\"procClose\"/>\n"
    "<Slider name=\"sldLevel\" xc=\"0.5\" yc=\"0.6\" action=\"procLevel\"/>\n";

TEST_F(ScreenTest, KeysMoveTheFocusToTheNeighbourThatWay) {
    Screen screen = Load(TwoColumns, "overSound=\"o.wav\"");
    screen.EnableFocus(true);
    screen.ResetFocus();
    EXPECT_EQ(screen.FocusedName(), "a1");  // a screen opens with its first button in focus
    const struct {
        MenuMove move;
        const char* focused;
    } steps[] = {
        {MenuMove::Right, "b1"},
        {MenuMove::Right, "b1"},  // nothing further right: stays
        {MenuMove::Down, "b2"},
        {MenuMove::Left, "a2"},
        {MenuMove::Down, "sldLevel"},
        {MenuMove::Down, "close"},
        {MenuMove::Down, "a1"},   // past the bottom: round to the top, the nearest
                                  // across
        {MenuMove::Up, "close"},  // and back round from the top
        {MenuMove::Up, "sldLevel"},
        {MenuMove::Up, "a2"},
        {MenuMove::Up, "a1"},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(screen.Navigate(step.move), "");
        EXPECT_EQ(screen.FocusedName(), step.focused);
    }
    // One over sound per move that reached another widget (the two that stayed put make none).
    EXPECT_EQ(sounds.size(), std::size(steps) - 1);
}

TEST_F(ScreenTest, ActivatingTheFocusIsAClick) {
    Screen screen = Load(std::string(MiddleButton) + TwoColumns, "clickSound=\"c.wav\"");
    screen.EnableFocus(true);
    screen.ResetFocus();
    ASSERT_EQ(screen.FocusedName(), "btnSound");
    EXPECT_EQ(screen.Navigate(MenuMove::Activate), "procSoundMode");
    EXPECT_EQ(screen.IsChecked("btnSound"), 1);
    EXPECT_EQ(Option("btnSound"), "1");
    EXPECT_THAT(sounds, ElementsAre("c.wav"));
    // Back presses the screen's close button wherever the focus is.
    EXPECT_EQ(screen.Navigate(MenuMove::Back), "procClose");
    EXPECT_EQ(screen.FocusedName(), "btnSound");
    EXPECT_THAT(sounds, ElementsAre("c.wav", "c.wav"));

    // A focused slider takes Left and Right as its value, in steps, stored, and held at its ends.
    for (int i = 0; i < 8 && screen.FocusedName() != "sldLevel"; ++i) screen.Navigate(MenuMove::Down);
    ASSERT_EQ(screen.FocusedName(), "sldLevel");
    EXPECT_EQ(screen.Navigate(MenuMove::Left), "procLevel");
    EXPECT_NEAR(screen.Sliders()[0].value, 0.75f - SliderKeyStep, 1e-6);
    EXPECT_EQ(Option("sldLevel"), "0.700000");
    for (int i = 0; i < 30; ++i) screen.Navigate(MenuMove::Right);
    EXPECT_FLOAT_EQ(screen.Sliders()[0].value, 1.0f);
    EXPECT_EQ(screen.Navigate(MenuMove::Activate), "");

    // The question's No answers Back where there is no close button; without either Back does nothing.
    Screen question = Load("<Button name=\"y\" action=\"procYes\"/><Button name=\"n\" action=\"procNo\"/>\n");
    question.EnableFocus(true);
    question.ResetFocus();
    EXPECT_EQ(question.Navigate(MenuMove::Back), "procNo");
    Screen plain = Load("<Button name=\"go\" action=\"procGo\"/>\n");
    plain.EnableFocus(true);
    EXPECT_EQ(plain.Navigate(MenuMove::Back), "");
    // A screen that leaves the keys to the game never moves or activates anything.
    Screen overlay = Load(TwoColumns);
    overlay.ResetFocus();
    EXPECT_EQ(overlay.Navigate(MenuMove::Activate), "");
    EXPECT_EQ(overlay.Focus(), -1);
}

TEST_F(ScreenTest, PointerAndKeysShareOneLitWidget) {
    for (const char* name : {"out.tga", "over.tga", "outc.tga", "overc.tga"}) device.AddFile(name, 10, 10);
    const std::string second =
        "<Button name=\"btnOther\" xc=\"0.5\" yc=\"0.9\" width=\"0.2\" height=\"0.1\" outImg=\"out.tga\" "
        "overImg=\"over.tga\" action=\"procOther\"/>\n";
    Screen screen = Load(std::string(MiddleButton) + second);
    screen.EnableFocus(true);
    screen.ResetFocus();
    auto drawn = [&] {
        device.ClearRecord();
        screen.Draw();
        return DrawnTextures();
    };
    EXPECT_THAT(drawn(), ElementsAre("over.tga", "out.tga"));  // the focus shows without the pointer
    screen.HandleMouse(WM_MOUSEMOVE, 400, 540, false);         // the pointer takes the focus along
    EXPECT_EQ(screen.FocusedName(), "btnOther");
    EXPECT_THAT(drawn(), ElementsAre("out.tga", "over.tga"));
    screen.HandleMouse(WM_MOUSEMOVE, 10, 10, false);  // and leaves it where it was
    EXPECT_THAT(drawn(), ElementsAre("out.tga", "over.tga"));
    screen.HandleMouse(WM_MOUSEMOVE, 400, 540, false);
    screen.Navigate(MenuMove::Up);  // the keys take it from under the pointer: one widget lit
    EXPECT_THAT(drawn(), ElementsAre("over.tga", "out.tga"));
    EXPECT_EQ(screen.Navigate(MenuMove::Activate), "procSoundMode");
    EXPECT_THAT(drawn(), ElementsAre("overc.tga", "out.tga"));

    // Without focus (the in-game overlay) only the pointer lights a widget.
    Screen overlay = Load(second);
    overlay.ResetFocus();
    device.ClearRecord();
    overlay.Draw();
    EXPECT_THAT(DrawnTextures(), ElementsAre("out.tga"));
}

}  // namespace
