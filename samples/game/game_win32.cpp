// The sample game on Windows: a message box the user closes to end it.
#include "base/sjis.h"
#include "game.h"
#include "platform/system.h"
#include "ui/application.h"
#include "ui/backend.h"
#include "ui/dialogs.h"

namespace {

int RunWindows() {
  mora::platform::RestrictDllSearchPath();
  mora::platform::BeginProcess(0, nullptr);
  try {
    mora::ui::TApplication application(mora::ui::CreateWin32Backend());
    return mora::game::RunGame([&](const std::string& title, const std::string&) {
      application.SetTitle(title);
      application.MessageDialog(
          title + mora::base::Sjis(" を実行しています。\r\nOK で終了します。"),
          mora::ui::TMsgDlgType::mtInformation, mora::ui::mbOK);
    });
  } catch (...) {
    return 1;
  }
}

}  // namespace

extern "C" int __stdcall wWinMain(void* /*instance*/, void* /*previous*/, wchar_t* /*commandLine*/,
                                  int /*show*/) {
  return RunWindows();
}
