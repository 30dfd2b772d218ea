// What every window does alike: the run up to Form_Activate, the repaint
// from the two pictures, and input delivered only after dispatching.
#include "surface/picture_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;

// A window that writes down what the base asks of it; the system activates
// it after Waits waits for events.
class LoggingWindow final : public PictureWindow, public WindowEvents {
 public:
  explicit LoggingWindow(int Waits) : PictureWindow(random_), waits_(Waits) {}

  Single ScaleWidth() override { return float(kDesignWidth); }
  Single ScaleHeight() override { return float(kDesignHeight); }
  void DoEvents() override { DeliverInput(); }
  void WaitEvents(double) override {
    log.push_back("wait");
    if (--waits_ == 0) Activated();
  }
  void Form_Activate() override { log.push_back("activate"); }
  void pb_KeyDown(Int16 Index, Int16 KeyCode, Int16 Shift) override {
    log.push_back(Text("key", {Index, KeyCode, Shift}));
  }
  void pb_MouseDown(Int16 Index, Int16 Button, Int16 Shift, Single X, Single Y) override {
    log.push_back(
        Text("button", {Index, Button, Shift, std::int16_t(X.Value()), std::int16_t(Y.Value())}));
  }

  using PictureWindow::QueueButton, PictureWindow::QueueClose, PictureWindow::QueueFailure,
      PictureWindow::QueueKey, PictureWindow::ShiftState;
  std::vector<std::string> log;

 protected:
  void Show() override {
    log.push_back("show");
    if (waits_ == 0) Activated();
  }
  void Present() override {
    Repaint(
        kDesignWidth, kDesignHeight, [this] { log.push_back("white"); },
        [this](const ImageSurface&, int Slot) { log.push_back("pb " + std::to_string(Slot)); });
  }

 private:
  static std::string Text(std::string Word, std::initializer_list<Int16> Numbers) {
    for (const Int16 number : Numbers) Word.append(" ").append(std::to_string(number.Value()));
    return Word;
  }

  Generator random_;
  int waits_;
};

TEST(PictureWindow, RunsWaitsUntilActivatedThenPaintsAndActivatesTheForm) {
  for (const int waits : {0, 3}) {
    LoggingWindow window(waits);
    window.Run(window);
    std::vector<std::string> expected{"show"};
    expected.insert(expected.end(), std::size_t(waits), "wait");
    expected.insert(expected.end(), {"white", "pb 1", "pb 0", "activate"});
    EXPECT_EQ(window.log, expected) << waits << " waits";
  }
}

TEST(PictureWindow, RepaintsWhiteAndTheSurfaceBehindUntilTheFrontCoversTheWindow) {
  LoggingWindow window(0);
  window.Run(window);
  window.log.clear();
  window.pb(1).Move(0.0F, 0, kDesignWidth, kDesignHeight - 1);
  window.pb(1).ZOrder();
  window.pb(1).Move(0.0F, 0, kDesignWidth, kDesignHeight);
  window.pb(1).ZOrder();
  EXPECT_THAT(window.log, ElementsAre("white", "pb 0", "pb 1", "pb 1"));
}

TEST(PictureWindow, DeliversQueuedInputToTheSurfaceInFrontUntilAClose) {
  LoggingWindow window(0);
  window.Run(window);
  window.pb(1).Move(0.0F, 0, kDesignWidth, kDesignHeight);
  window.pb(1).ZOrder();
  window.log.clear();
  window.QueueKey(27, window.ShiftState(true, false, true));
  window.QueueButton(PressedButton::Right, window.ShiftState(false, true, false), 5, 7);
  for (const PressedButton button :
       {PressedButton::Left, PressedButton::Middle, PressedButton::Other}) {
    window.QueueButton(button, 0, 1, 1);
  }
  window.QueueClose();
  window.QueueKey(13, 0);
  EXPECT_TRUE(window.log.empty()) << "delivered while queueing";
  EXPECT_THROW(window.DoEvents(), ProgramEnd);
  EXPECT_THAT(window.log, ElementsAre("key 1 27 5", "button 1 2 2 5 7", "button 1 1 0 1 1",
                                      "button 1 4 0 1 1", "button 1 8 0 1 1"));
  window.QueueFailure("the screen went away");
  EXPECT_THROW(window.DoEvents(), SurfaceError);
}

}  // namespace
