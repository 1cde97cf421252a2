// Settings, a folder-backed archive and small Vint pictures for the launcher
// and main-window tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "archive/vrfiles.h"
#include "base/sjis.h"
#include "pictures/vintwriter.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "settings/installset.h"
#include "ui/application.h"
#include "ui/scripted/scripted.h"

namespace mora::startup::testing {

using base::Sjis;

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() : Script(new ui::TScriptedBackend), App(std::unique_ptr<ui::TBackend>(Script)) {
    TestName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Settings.Title = Sjis("テストタイトル");
    Settings.RegistryKey = "MoraStartupTests\\" + TestName;
    Settings.ProgramFile = "game.exe";
    Medium = "C:\\Medium\\" + TestName + "\\";
    platform::ForceDirectories(Medium + "game.dat");
    // No game.dat file: the archive serves the loose files of the folder
    // named game.dat.
    Archive.Open(Medium + "game.dat");
  }

  // A one-frame picture whose pixel (x, y) has the colour given.
  void WritePicture(const std::string& name, int width, int height,
                    const std::function<ui::TColor(int, int)>& colour) {
    pictures::TDIBSurface surface(width, height, 24);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const ui::TColor c = colour(x, y);
        surface.SetColor(x, y, pictures::MakeColor(c.R, c.G, c.B));
      }
    }
    pictures::TVintLayerSource layer;
    layer.Colour = std::move(surface);
    pictures::TVintFrameSource frame;
    frame.Width = width;
    frame.Height = height;
    frame.BitsPerPixel = 24;
    frame.Layers.push_back(std::move(layer));
    pictures::TVintPictureSource picture;
    picture.Frames.push_back(std::move(frame));
    picture.FirstLayerOpaque = true;
    platform::WriteFileAtomic(Medium + "game.dat\\" + name,
                              pictures::WriteVint(picture, Settings.PictureSeed));
    Settings.BackgroundPicture = name;
  }

  void Install() {
    const std::string folder = "C:\\Installed\\" + TestName;
    platform::ForceDirectories(folder);
    platform::WriteFileAtomic(folder + "\\game.exe", "MZ");
    Settings.WriteRegString("InstallPath", folder + "\\");
  }

  std::string TestName;
  ui::TScriptedBackend* Script;
  ui::TApplication App;
  settings::TMoraInstallSet Settings;
  archive::TVrFileCollection Archive;
  std::string Medium;
};

}  // namespace mora::startup::testing
