// The console window in this process: its text box, the 20000-character rule, the keys it
// reports and the close requests it refuses. Needs a desktop (under Wine: an X display, e.g.
// xvfb-run); without one every test says it skipped.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "platform/console_window.h"
#include "window_test_support.h"

namespace {

using platform::ConsoleEvents;
using platform::ConsoleWindow;

class ConsoleWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!window_test::HaveDesktop()) GTEST_SKIP() << "no desktop to create windows on";
    window_ = std::make_unique<ConsoleWindow>(u"Sweep well", "");
    ASSERT_TRUE(window_->IsOpen());
    window_->Show();
    frame_ = reinterpret_cast<HWND>(window_->NativeHandle());
    edit_ = FindWindowExW(frame_, nullptr, L"EDIT", nullptr);
    ASSERT_NE(edit_, nullptr);
  }

  // Posts a key to the text box, as the keyboard would deliver it there, and handles it.
  ConsoleEvents Key(UINT message, WPARAM key) {
    PostMessageW(edit_, message, key, 1);
    return window_->ProcessMessages();
  }

  std::unique_ptr<ConsoleWindow> window_;
  HWND frame_ = nullptr;
  HWND edit_ = nullptr;
};

TEST_F(ConsoleWindowTest, TextBoxIsReadOnlyMultiLineLightGreyCourierOnBlackFillingTheWindow) {
  LONG style = GetWindowLongW(edit_, GWL_STYLE);
  EXPECT_TRUE(style & ES_MULTILINE);
  EXPECT_TRUE(style & ES_READONLY);
  EXPECT_TRUE(style & WS_VSCROLL);

  LOGFONTW font = {};
  auto handle = reinterpret_cast<HFONT>(SendMessageW(edit_, WM_GETFONT, 0, 0));
  ASSERT_NE(handle, nullptr);
  ASSERT_NE(GetObjectW(handle, sizeof font, &font), 0);
  EXPECT_STREQ(font.lfFaceName, L"Courier New");
  EXPECT_EQ(font.lfCharSet, RUSSIAN_CHARSET);
  EXPECT_EQ(font.lfWeight, FW_NORMAL);

  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(font.lfHeight, -MulDiv(9, dpi, 72));
  RECT client, box;
  GetClientRect(frame_, &client);
  GetClientRect(edit_, &box);
  EXPECT_EQ(client.right, MulDiv(594, dpi, 96));
  EXPECT_EQ(client.bottom, MulDiv(357, dpi, 96));
  POINT corner = {0, 0};
  MapWindowPoints(edit_, frame_, &corner, 1);
  EXPECT_EQ(corner.x, 0);
  EXPECT_EQ(corner.y, 0);
  RECT outer;
  GetWindowRect(edit_, &outer);
  EXPECT_EQ(outer.right - outer.left, client.right);
  EXPECT_EQ(outer.bottom - outer.top, client.bottom);

  // The colours the window hands the text box when it paints.
  HDC dc = CreateCompatibleDC(nullptr);
  LRESULT brush = SendMessageW(frame_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(edit_));
  EXPECT_NE(brush, 0);
  EXPECT_EQ(GetTextColor(dc), RGB(192, 192, 192));
  EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 0));
  LOGBRUSH fill = {};
  GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof fill, &fill);
  EXPECT_EQ(fill.lbColor, RGB(0, 0, 0));
  DeleteDC(dc);
}

TEST_F(ConsoleWindowTest, LineEndsShowAsCrLfAndPiecesAppendAtTheEnd) {
  window_->AppendText(u"first line\n");
  window_->AppendText(u"C:\\tmp\\a.tmp  :: ");
  window_->AppendText(u"5 bytes\r\n");
  window_->AppendText(u"Нажмите любую клавишу . . .\n");
  EXPECT_EQ(window_->Text(),
            u"first line\r\nC:\\tmp\\a.tmp  :: 5 bytes\r\nНажмите любую клавишу . . .\r\n");
  EXPECT_EQ(window_->Text().size(), static_cast<size_t>(GetWindowTextLengthW(edit_)));
}

TEST_F(ConsoleWindowTest, BoxIsEmptiedOnlyWhenItHoldsMoreThan20000Characters) {
  const std::u16string line = std::u16string(98, u'x') + u"\n";  // 100 characters as shown
  for (int i = 0; i < 200; ++i) window_->AppendText(line);
  ASSERT_EQ(window_->Text().size(), 20000u);
  window_->AppendText(u"y");  // 20000 is not more than the limit: kept
  ASSERT_EQ(window_->Text().size(), 20001u);
  window_->AppendText(u"z\n");
  EXPECT_EQ(window_->Text(), u"z\r\n");

  // One piece longer than the default limit of an edit box stands whole in it. (Made of lines:
  // Wine takes many seconds to wrap a single line that long.)
  std::u16string long_piece;
  while (long_piece.size() < 33000) long_piece += std::u16string(98, u'p') + u"\r\n";
  window_->AppendText(long_piece);
  EXPECT_EQ(window_->Text(), u"z\r\n" + long_piece);
  window_->AppendText(u"after");
  EXPECT_EQ(window_->Text(), u"after");
}

TEST_F(ConsoleWindowTest, ReportsPlainF1AsHelpAndEveryOtherKeyButLoneModifiers) {
  ConsoleEvents f1 = Key(WM_KEYDOWN, VK_F1);
  EXPECT_TRUE(f1.help_requested);
  EXPECT_FALSE(f1.key_pressed);

  ConsoleEvents letter = Key(WM_KEYDOWN, 'A');
  EXPECT_TRUE(letter.key_pressed);
  EXPECT_FALSE(letter.help_requested);

  ConsoleEvents alt_f1 = Key(WM_SYSKEYDOWN, VK_F1);  // F1 with Alt held
  EXPECT_TRUE(alt_f1.key_pressed);
  EXPECT_FALSE(alt_f1.help_requested);

  for (WPARAM modifier : {VK_SHIFT, VK_CONTROL, VK_MENU, VK_LWIN}) {
    EXPECT_FALSE(Key(WM_KEYDOWN, modifier).Any()) << modifier;
  }

  // Keys sent to the window itself count the same as keys sent to its text box.
  PostMessageW(frame_, WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_TRUE(window_->ProcessMessages().key_pressed);
  EXPECT_TRUE(window_->IsOpen());
}

TEST_F(ConsoleWindowTest, CloseRequestsAreRefusedUntilClosingIsAllowed) {
  SendMessageW(frame_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(frame_));
  ConsoleEvents refused = window_->ProcessMessages();
  EXPECT_TRUE(refused.close_refused);
  EXPECT_FALSE(refused.closed);
  EXPECT_FALSE(SendMessageW(frame_, WM_QUERYENDSESSION, 0, 0));
  EXPECT_TRUE(window_->ProcessMessages().close_refused);

  // Alt+F4 reaches the window as a close request too.
  PostMessageW(frame_, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(window_->ProcessMessages().close_refused);
  EXPECT_TRUE(window_->IsOpen());

  window_->AllowClose();
  PostMessageW(frame_, WM_CLOSE, 0, 0);
  ConsoleEvents closed = window_->WaitForEvent();
  EXPECT_TRUE(closed.closed);
  EXPECT_FALSE(window_->IsOpen());
  EXPECT_FALSE(IsWindow(frame_));
  // A closed window takes text and waits for nothing.
  window_->AppendText(u"ignored");
  EXPECT_EQ(window_->Text(), u"");
  EXPECT_FALSE(window_->WaitForEvent().Any());
}

TEST_F(ConsoleWindowTest, WaitForEventReturnsOnTheFirstKey) {
  PostMessageW(edit_, WM_KEYDOWN, VK_SHIFT, 1);  // not a key of its own: waited past
  PostMessageW(edit_, WM_KEYDOWN, VK_ESCAPE, 1);
  ConsoleEvents events = window_->WaitForEvent();
  EXPECT_TRUE(events.key_pressed);
  EXPECT_TRUE(window_->IsOpen());
}

}  // namespace
