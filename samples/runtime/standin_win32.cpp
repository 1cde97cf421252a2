// The stand-in runtime installer on Windows: a message box the user closes.
#include "base/sjis.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "standin.h"
#include "ui/application.h"
#include "ui/backend.h"
#include "ui/dialogs.h"

namespace {

int RunWindows() {
  mora::platform::RestrictDllSearchPath();
  mora::platform::BeginProcess(0, nullptr);
  try {
    mora::ui::TApplication application(mora::ui::CreateWin32Backend());
    application.SetTitle(mora::base::Sjis("ランタイムのセットアップ"));
    application.MessageDialog(mora::standin::StandInMessage(mora::platform::ModuleFileName()),
                              mora::ui::TMsgDlgType::mtInformation, mora::ui::mbOK);
    return 0;
  } catch (...) {
    return 1;
  }
}

}  // namespace

extern "C" int __stdcall wWinMain(void* /*instance*/, void* /*previous*/, wchar_t* /*commandLine*/,
                                  int /*show*/) {
  return RunWindows();
}
