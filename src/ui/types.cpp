// The fixed window font.
#include "ui/types.h"

#include "base/sjis.h"

namespace mora::ui {

std::string FormFontName() { return base::Sjis("ＭＳ Ｐゴシック"); }

}  // namespace mora::ui
