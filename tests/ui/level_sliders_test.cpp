// The speaker and microphone sliders: every way the agent moves one (a drag,
// a click on the track, the wheel, the keys) puts the level it shows in
// force, and the part of the slider a style fills grows with the level.
#include <QApplication>
#include <QImage>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>

#include "app/control_ids.h"
#include "app/settings.h"
#include "tests/support/window/ui_fixture.h"

namespace {

struct LevelSlider {
    int id;
    int32_t Settings::*level;
    const char* name;
};

void PrintTo(const LevelSlider& slider, std::ostream* out) {
    *out << slider.name;
}

const LevelSlider kSliders[] = {
    {IDC_SLIDER_SPK, &Settings::speakerVol, "speaker"},
    {IDC_SLIDER_MIC, &Settings::micVol, "microphone"},
};

class LevelSliderTest : public UiTest, public ::testing::WithParamInterface<LevelSlider> {
protected:
    void SetUp() override {
        UiTest::SetUp();
        writeFile("Quendra.ini", "speakerVol=50\nmicVol=50\n");
        makeDialog();
        m_dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dialog.get()));
        slider = qobject_cast<QSlider*>(control(GetParam().id));
        ASSERT_NE(slider, nullptr);
    }
    int level() const { return g_settings.*(GetParam().level); }
    // The handle's rectangle as the style places it.
    QRect handle() const {
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = slider->orientation();
        option.minimum = slider->minimum();
        option.maximum = slider->maximum();
        option.sliderPosition = slider->sliderPosition();
        option.sliderValue = slider->value();
        option.upsideDown = !slider->invertedAppearance();
        option.subControls = QStyle::SC_All;
        return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    }
    void wheel(int delta) {
        const QPoint at = slider->rect().center();
        QWheelEvent event(at, slider->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &event);
    }

    QSlider* slider = nullptr;
};

TEST_P(LevelSliderTest, KeysApplyEachStep) {
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Up);
    EXPECT_EQ(level(), 51);
    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(level(), 41);
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(level(), 0);
    EXPECT_EQ(m_dialog->sliderPosition(GetParam().id), -level());
}

TEST_P(LevelSliderTest, WheelAppliesTheLevel) {
    wheel(120);
    EXPECT_GT(level(), 50);
    const int raised = level();
    wheel(-120);
    wheel(-120);
    EXPECT_LT(level(), raised);
    EXPECT_LT(level(), 50);
    EXPECT_EQ(m_dialog->sliderPosition(GetParam().id), -level());
}

TEST_P(LevelSliderTest, ClickOnTheTrackAppliesTheLevel) {
    // Below the handle is the lower part of the track: the level goes down.
    const QPoint below(handle().center().x(), (handle().bottom() + slider->height()) / 2);
    ASSERT_GT(below.y(), handle().bottom());
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, below);
    EXPECT_LT(level(), 50);
    EXPECT_EQ(m_dialog->sliderPosition(GetParam().id), -level());
}

TEST_P(LevelSliderTest, DragAppliesTheLevelWhenTheHandleIsLetGo) {
    const QPoint grip = handle().center();
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, grip);
    ASSERT_TRUE(slider->isSliderDown());
    QMouseEvent move(QEvent::MouseMove, QPointF(grip.x(), 2), slider->mapToGlobal(QPointF(grip.x(), 2)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &move);
    EXPECT_EQ(level(), 50) << "nothing applies while the handle is held";
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(grip.x(), 2));
    EXPECT_GT(level(), 90) << "dragged to the top";
    EXPECT_EQ(m_dialog->sliderPosition(GetParam().id), -level());
}

// Pixels of the slider drawn in a saturated colour: the filled part of the
// track (the handle and the plain track are grey in the styles at hand).
int filledPixels(QSlider* slider) {
    const QImage image = slider->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            count += colour.hsvSaturation() > 80 && colour.value() > 60;
        }
    }
    return count;
}

TEST_P(LevelSliderTest, FilledPartGrowsWithTheLevel) {
    m_dialog->setSliderPosition(GetParam().id, -10);
    const int low = filledPixels(slider);
    m_dialog->setSliderPosition(GetParam().id, -90);
    const int high = filledPixels(slider);
    EXPECT_GT(high, 2 * low) << "level 10: " << low << " pixels filled, level 90: " << high;
    EXPECT_GT(high, 0);
}

INSTANTIATE_TEST_SUITE_P(BothSliders, LevelSliderTest, ::testing::ValuesIn(kSliders),
                         [](const ::testing::TestParamInfo<LevelSlider>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
