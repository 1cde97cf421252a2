// Control behaviour of the model: check and radio clicks, pages, the paint
// box's placement, the folder list and drive box link.
#include <gtest/gtest.h>

#include <memory>

#include "base/errors.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/scripted/scripted.h"

namespace mora::ui {
namespace {

class ControlsTest : public ::testing::Test {
 protected:
  ControlsTest() : App(std::make_unique<TScriptedBackend>()), Form(App, "Form") {
    Form.SetClientSize(20, 10);
  }
  TApplication App;
  TForm Form;
};

TEST_F(ControlsTest, CheckBoxFiresOnlyWhenItsStateChanges) {
  auto& box = Form.Add<TCheckBox>("Check", {0, 0, 10, 10});
  int clicks = 0;
  box.OnClick = [&](TControl&) { ++clicks; };
  box.SetChecked(false);
  EXPECT_EQ(clicks, 0);
  box.SetChecked(true);
  box.SetChecked(true);
  EXPECT_EQ(clicks, 1);
  box.UserClick();
  EXPECT_FALSE(box.Checked());
  EXPECT_EQ(clicks, 2);
}

TEST_F(ControlsTest, RadioButtonsExcludeEachOtherWithinOneParentOnly) {
  auto& notebook = Form.Add<TNotebook>("Book", {0, 0, 20, 10});
  notebook.AddPage("a");
  notebook.AddPage("b");
  auto& a1 = Form.AddTo<TRadioButton>(notebook, 0, "A1", {});
  auto& a2 = Form.AddTo<TRadioButton>(notebook, 0, "A2", {});
  auto& b1 = Form.AddTo<TRadioButton>(notebook, 1, "B1", {});
  a1.SetChecked(true);
  b1.SetChecked(true);
  a2.UserClick();
  EXPECT_FALSE(a1.Checked());
  EXPECT_TRUE(a2.Checked());
  EXPECT_TRUE(b1.Checked());
}

TEST_F(ControlsTest, OnlyTheActivePageOfAShowingNotebookIsShowing) {
  auto& notebook = Form.Add<TNotebook>("Book", {5, 6, 10, 4});
  notebook.AddPage("a");
  notebook.AddPage("b");
  auto& onA = Form.AddTo<TLabel>(notebook, 0, "OnA", {1, 2, 3, 4});
  auto& onB = Form.AddTo<TLabel>(notebook, 1, "OnB", {});
  EXPECT_TRUE(onA.IsShowing());
  EXPECT_FALSE(onB.IsShowing());
  EXPECT_EQ(onA.ClientBounds(), (TRect{6, 8, 3, 4}));
  notebook.SetPageIndex(1);
  EXPECT_FALSE(onA.IsShowing());
  EXPECT_TRUE(onB.IsShowing());
  notebook.SetVisible(false);
  EXPECT_FALSE(onB.IsShowing());
  EXPECT_THROW(notebook.SetPageIndex(2), base::ERangeError);
}

TEST_F(ControlsTest, PaintBoxCentresCutsAndStretches) {
  auto& box = Form.Add<TPaintBox>("Box", {2, 2, 4, 4});
  TBitmap canvas;
  const TColor face{9, 9, 9};
  Form.PaintGraphics(canvas, face);  // empty bitmap: nothing drawn
  EXPECT_EQ(canvas.Pixel(3, 3), face);

  // 6 x 2 picture, columns coloured by x, centred in 4 x 4: x offset
  // (4 - 6) / 2 = -1 cuts one column on each side; y offset (4 - 2) / 2 = 1.
  TBitmap picture(6, 2);
  for (int x = 0; x < 6; ++x)
    picture.FillRect({x, 0, 1, 2}, TColor{static_cast<std::uint8_t>(x * 10), 0, 0});
  box.SetBitmap(picture);
  box.SetMode(TPictureMode::Center);
  Form.PaintGraphics(canvas, face);
  EXPECT_EQ(canvas.Pixel(2, 2), face);
  EXPECT_EQ(canvas.Pixel(2, 3).R, 10);
  EXPECT_EQ(canvas.Pixel(5, 4).R, 40);
  EXPECT_EQ(canvas.Pixel(1, 3), face);  // nothing outside the box
  EXPECT_EQ(canvas.Pixel(6, 3), face);
  EXPECT_EQ(canvas.Pixel(3, 5), face);

  box.SetMode(TPictureMode::Stretch);
  Form.PaintGraphics(canvas, face);
  EXPECT_EQ(canvas.Pixel(2, 2).R, 0);
  EXPECT_EQ(canvas.Pixel(5, 5).R, 40);  // x 3 of 4 -> source 3 * 6 / 4 = 4

  box.SetHeight(2);  // re-centred at the next paint: y offset 0
  box.SetMode(TPictureMode::Center);
  Form.PaintGraphics(canvas, face);
  EXPECT_EQ(canvas.Pixel(2, 2).R, 10);
  EXPECT_EQ(canvas.Pixel(2, 4), face);
}

TEST_F(ControlsTest, DriveBoxAndFolderListFollowEachOther) {
  auto& list = Form.Add<TDirectoryList>("Dir", {});
  auto& drive = Form.Add<TDriveBox>("Drive", {});
  drive.SetDirList(&list);
  int listChanges = 0;
  int driveChanges = 0;
  list.OnChange = [&](TControl&) { ++listChanges; };
  drive.OnChange = [&](TControl&) { ++driveChanges; };

  drive.SetDrive('c');
  EXPECT_EQ(drive.Drive(), 'C');
  EXPECT_EQ(list.Directory(), "C:\\");
  EXPECT_EQ(listChanges, 1);
  EXPECT_EQ(driveChanges, 1);

  list.SetDirectory("C:\\Games\\");  // one trailing delimiter goes
  EXPECT_EQ(list.Directory(), "C:\\Games");
  list.SetDirectory("c:\\games");  // the same folder: no change
  EXPECT_EQ(listChanges, 2);

  list.SetDirectory("D:\\Data");  // the box follows silently
  EXPECT_EQ(drive.Drive(), 'D');
  EXPECT_EQ(driveChanges, 1);
  drive.SetDrive('D');  // already there: nothing
  EXPECT_EQ(list.Directory(), "D:\\Data");
}

TEST_F(ControlsTest, FolderListShowsTheOpenPathAndTheSubFolders) {
  const std::string root = platform::WindowsFolder() + "\\ListTest";
  ASSERT_TRUE(platform::ForceDirectories(root + "\\Beta"));
  ASSERT_TRUE(platform::ForceDirectories(root + "\\alpha"));
  platform::WriteFileAtomic(root + "\\file.txt", "x");
  auto& list = Form.Add<TDirectoryList>("Dir", {});
  list.SetDirectory(root);
  const std::vector<TDirectoryItem> items = list.Items();
  ASSERT_GE(items.size(), 4u);
  EXPECT_EQ(items.front().Caption, root.substr(0, 3));
  const TDirectoryItem& alpha = items[items.size() - 2];
  const TDirectoryItem& beta = items.back();
  EXPECT_EQ(alpha.Path, root + "\\alpha");  // sorted without regard to case
  EXPECT_EQ(beta.Caption, "Beta");
  EXPECT_FALSE(beta.Open);
  EXPECT_EQ(items[items.size() - 3].Path, root);
  EXPECT_TRUE(items[items.size() - 3].Open);
  EXPECT_EQ(beta.Level, items[items.size() - 3].Level + 1);
}

TEST_F(ControlsTest, ProgressPositionStaysWithinTheRange) {
  auto& bar = Form.Add<TProgressBar>("Bar", {});
  bar.SetMax(50);
  bar.SetPosition(70);
  EXPECT_EQ(bar.Position(), 50);
  bar.SetMax(10);
  EXPECT_EQ(bar.Position(), 10);
  bar.SetPosition(-3);
  EXPECT_EQ(bar.Position(), 0);
}

TEST_F(ControlsTest, NamesAreUniqueAndLookedUpByKind) {
  Form.Add<TButton>("Same", {});
  EXPECT_THROW(Form.Add<TLabel>("Same", {}), base::ERangeError);
  EXPECT_NO_THROW(Form.Control<TButton>("Same"));
  EXPECT_THROW(Form.Control<TLabel>("Same"), base::ERangeError);
  EXPECT_EQ(Form.FindControl("Other"), nullptr);
}

}  // namespace
}  // namespace mora::ui
