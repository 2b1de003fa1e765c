// Loading the font engine module, once, the first time a font is wanted.
#include <dlfcn.h>

#include <filesystem>
#include <mutex>

#include "gdi32/outline.h"
#include "winsim/machine.h"

namespace winsim::gdi {

namespace {

struct Engine {
  LoadFontFunction load = nullptr;
  std::string error;
};

// Beside this library, wherever it was loaded from. The module stays loaded
// for the life of the process, as fontconfig's and FreeType's state does.
const Engine& engine() {
  static const Engine e = [] {
    Engine r;
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void*>(&Font::load), &self) || !self.dli_fname) {
      r.error = "cannot tell where libwinsim.so was loaded from";
      return r;
    }
    auto path = std::filesystem::path(self.dli_fname).parent_path() / kFontEngineModule;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module) r.load = reinterpret_cast<LoadFontFunction>(dlsym(module, kLoadFontExport));
    if (!r.load) r.error = std::string("the font engine cannot be loaded: ") + dlerror();
    return r;
  }();
  return e;
}

}  // namespace

std::unique_ptr<Font> Font::load(const LOGFONTW& lf, std::string* error) {
  const Engine& e = engine();
  if (!e.load) {
    *error = e.error;
    return nullptr;
  }
  size_t length = std::char_traits<char16_t>::length(lf.lfFaceName);
  Request r{toUtf8(std::u16string_view(lf.lfFaceName, length < LF_FACESIZE ? length : LF_FACESIZE)), lf.lfHeight,
            lf.lfWeight, lf.lfItalic != 0};
  return std::unique_ptr<Font>(e.load(r, error));
}

}  // namespace winsim::gdi
