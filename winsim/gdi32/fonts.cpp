// Loading the font engine module, once, the first time a font is wanted.
#include <dlfcn.h>

#include <filesystem>
#include <mutex>

#include "gdi32/fontmap.h"
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
  size_t length = 0;
  while (length < LF_FACESIZE && lf.lfFaceName[length]) ++length;
  FaceChoice choice = chooseFace(std::u16string_view(lf.lfFaceName, length), lf.lfCharSet, GetACP());
  Request r{std::move(choice.faces), std::move(choice.links), lf.lfHeight, lf.lfWeight, lf.lfItalic != 0};
  std::unique_ptr<Font> font(e.load(r, error));
  if (font) font->charset_ = choice.charset;
  return font;
}

}  // namespace winsim::gdi
