#include "jobkit/syntax.h"
#include "jobkit/text.h"

#include <algorithm>
#include <cstring>

#include <windows.h>

#include "jobkit/settings.h"

namespace jobkit {

namespace {

// What ends a bare word, and what ends a KEY=value's value: a table, as a
// script is mostly words.
struct CharSet {
  bool has[256] = {};
  constexpr CharSet(std::string_view chars) {
    for (char c : chars) has[static_cast<unsigned char>(c)] = true;
  }
  bool operator()(char c) const { return has[static_cast<unsigned char>(c)]; }
};
constexpr CharSet isSpace(" \t\r"), endsWord(" \t\r=\"");

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A quoted string starting at line[i] == '"'; i ends after the closing quote.
bool readQuoted(std::string_view line, size_t& i, std::string* out, std::string* letterEscape, std::string* error) {
  out->clear();
  letterEscape->clear();
  for (++i; i < line.size(); ++i) {
    size_t plain = i;
    while (plain < line.size() && line[plain] != '"' && line[plain] != '\\') ++plain;
    if (plain == line.size()) break;
    out->append(line.substr(i, plain - i));
    i = plain;
    if (line[i] == '"') {
      ++i;
      return true;
    }
    if (++i >= line.size()) break;
    if (letterEscape->empty() && (line[i] == 'n' || line[i] == 'r' || line[i] == 't'))
      *letterEscape = std::string("\\") + line[i];
    switch (line[i]) {
      case '\\': out->push_back('\\'); break;
      case '"': out->push_back('"'); break;
      case 'n': out->push_back('\n'); break;
      case 'r': out->push_back('\r'); break;
      case 't': out->push_back('\t'); break;
      case 'x': {
        int hi = i + 1 < line.size() ? hexDigit(line[i + 1]) : -1;
        int lo = i + 2 < line.size() ? hexDigit(line[i + 2]) : -1;
        if (hi < 0 || lo < 0) {  // not an escape: a path such as "C:\xyz"
          out->append("\\x");
          break;
        }
        out->push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        break;
      }
      // Any other backslash stands for itself, so that Windows paths such
      // as "C:\WINDOWS\TEMP" need no doubling.
      default:
        out->push_back('\\');
        out->push_back(line[i]);
        break;
    }
  }
  *error = "string without its closing quote";
  return false;
}

// The line's tokens, `count` of them: the first into `first`, the others
// into `rest`, reusing what they held, so that a long script is read
// without an allocation a line.
bool tokenize(std::string_view line, Token* first, std::vector<Token>* rest, size_t* count, std::string* error) {
  size_t& n = *count;
  size_t i = 0;
  n = 0;
  while (i < line.size()) {
    if (isSpace(line[i])) {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    if (n > rest->size()) rest->emplace_back();
    Token& t = n == 0 ? *first : (*rest)[n - 1];
    ++n;
    t.key.clear();
    t.quoted = false;
    t.letterEscape.clear();
    if (line[i] == '"') {
      if (!readQuoted(line, i, &t.value, &t.letterEscape, error)) return false;
      t.quoted = true;
      continue;
    }
    size_t start = i;
    while (i < line.size() && !endsWord(line[i])) ++i;
    if (i >= line.size() || line[i] != '=') {
      t.value.assign(line.substr(start, i - start));
      continue;
    }
    t.key.assign(line.substr(start, i - start));
    ++i;
    if (i < line.size() && line[i] == '"') {
      if (!readQuoted(line, i, &t.value, &t.letterEscape, error)) return false;
      t.quoted = true;
    } else {
      size_t vs = i;
      while (i < line.size() && !isSpace(line[i])) ++i;
      t.value.assign(line.substr(vs, i - vs));
    }
  }
  rest->resize(n > 0 ? n - 1 : 0);
  return true;
}

}  // namespace

const Token* keyed(const Directive& d, const char* key) {
  for (auto& t : d.args)
    if (t.key == key) return &t;
  return nullptr;
}

bool pathArgument(const Token& t, std::string* error) {
  if (t.letterEscape.empty()) return true;
  char letter = t.letterEscape[1];
  const char* hex = letter == 'n' ? "0A" : letter == 'r' ? "0D" : "09";
  *error = "\\" + std::string(1, letter) + " in a path is a control character: write \\\\" + letter +
           " for a backslash and \"" + letter + "\", or \\x" + hex + " to mean it";
  return false;
}

bool number(const Token& t, long long* out, std::string* error) {
  auto n = parseNumber(t.value);
  if (!n) {
    *error = "\"" + t.value + "\" is not a number";
    return false;
  }
  *out = *n;
  return true;
}

bool hexBytes(const std::vector<Token>& args, size_t from, std::string* out, std::string* error) {
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& h = args[i].value;
    if (h.size() != 2 || hexDigit(h[0]) < 0 || hexDigit(h[1]) < 0) {
      *error = "\"" + h + "\" is not a hexadecimal byte";
      return false;
    }
    out->push_back(static_cast<char>(hexDigit(h[0]) * 16 + hexDigit(h[1])));
  }
  return true;
}

namespace {

struct AnswerName {
  const char* name;
  int id;
};
const AnswerName kAnswers[] = {{"OK", IDOK},       {"CANCEL", IDCANCEL},     {"ABORT", IDABORT},
                               {"RETRY", IDRETRY}, {"IGNORE", IDIGNORE},     {"YES", IDYES},
                               {"NO", IDNO},       {"TRYAGAIN", IDTRYAGAIN}, {"CONTINUE", IDCONTINUE}};

}  // namespace

namespace {
constexpr size_t kChunk = 16 * 1024;
}  // namespace

bool ScriptReader::refill() {
  if (!chunk_) chunk_ = std::make_unique_for_overwrite<char[]>(kChunk);
  in_->read(chunk_.get(), kChunk);
  chunkAt_ = 0;
  chunkEnd_ = static_cast<size_t>(in_->gcount());
  return chunkEnd_ > 0;
}

// A stream's lines are found in the chunks read from it, and only a line
// that straddles two chunks is copied.
bool ScriptReader::nextLine(std::string_view* line) {
  if (!in_) {
    if (at_ > text_.size()) return false;
    size_t end = std::min(text_.find('\n', at_), text_.size());
    *line = text_.substr(at_, end - at_);
    at_ = end + 1;
    ++line_;
    return true;
  }
  bool straddles = false;
  lineBuffer_.clear();
  while (chunkAt_ < chunkEnd_ || refill()) {
    const char* start = chunk_.get() + chunkAt_;
    size_t available = chunkEnd_ - chunkAt_;
    auto* newline = static_cast<const char*>(std::memchr(start, '\n', available));
    size_t length = newline ? static_cast<size_t>(newline - start) : available;
    chunkAt_ += newline ? length + 1 : length;
    if (newline && !straddles) {
      *line = std::string_view(start, length);
      ++line_;
      return true;
    }
    lineBuffer_.append(start, length);
    straddles = true;
    if (newline) break;
  }
  if (!straddles) return false;
  *line = lineBuffer_;
  ++line_;
  return true;
}

bool ScriptReader::next(Directive* d, ScriptError* error) {
  std::string_view line;
  while (nextLine(&line)) {
    std::string message;
    size_t tokens = 0;
    if (!tokenize(line, &verb_, &d->args, &tokens, &message)) {
      *error = {line_, message};
      return stop();
    }
    if (tokens == 0) continue;
    if (verb_.quoted || !verb_.key.empty()) {
      *error = {line_, "a line begins with a directive"};
      return stop();
    }
    d->line = line_;
    d->verb.swap(verb_.value);
    return true;
  }
  *error = {};
  return false;
}

bool ScriptReader::stop() {
  at_ = text_.size() + 1;
  chunkAt_ = chunkEnd_ = 0;
  if (in_) in_->setstate(std::ios::failbit);
  return false;
}

bool parseScript(std::string_view text, std::vector<Directive>* out, ScriptError* error) {
  ScriptReader reader(text);
  Directive d;
  while (reader.next(&d, error)) out->push_back(std::move(d));
  return error->message.empty();
}

namespace {

bool checkAll(ScriptReader reader, ScriptError* error) {
  Directive d;
  while (reader.next(&d, error)) {
  }
  return error->message.empty();
}

}  // namespace

std::string documentKind(std::string_view head) {
  auto starts = [head](std::string_view prefix) { return head.substr(0, prefix.size()) == prefix; };
  if (starts("%PDF")) return "a PDF document";
  if (starts("%!")) return "a PostScript document";
  if (starts("\x1B%-12345X") || starts(") HP-PCL XL") || starts("( HP-PCL XL")) return "a PCL XL document";
  return "";
}

std::string conversionAdvice(const std::string& document, const std::string& pxl) {
  return "convert it first with Ghostscript, gs -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pxlmono -r600 -sOutputFile=" + pxl +
         " " + document + " (pxlcolor for colour, -r300 for 300 dpi)";
}

bool checkScript(std::string_view text, ScriptError* error) { return checkAll(ScriptReader(text), error); }
bool checkScript(std::istream& in, ScriptError* error) { return checkAll(ScriptReader(in), error); }

std::string didYouMean(std::string_view word, const std::vector<std::string_view>& known) {
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  auto sameLetter = [&](char x, char y) { return lower(x) == lower(y); };
  std::string_view best;
  size_t bestDistance = std::max<size_t>(2, word.size() / 3) + 1;
  for (auto name : known) {
    // The distance is at least the difference in length: a long word (a
    // line of garbage) is never compared letter by letter.
    size_t gap = word.size() > name.size() ? word.size() - name.size() : name.size() - word.size();
    if (gap >= bestDistance) continue;
    if (size_t d = editDistance(word, name, sameLetter); d < bestDistance) best = name, bestDistance = d;
  }
  return best.empty() ? std::string() : "; did you mean \"" + std::string(best) + "\"?";
}

bool answerIds(const std::vector<Token>& args, std::vector<int>* ids, std::string* error) {
  for (auto& t : args) {
    const AnswerName* found = nullptr;
    for (auto& an : kAnswers)
      if (t.value == an.name) found = &an;
    if (!found) return *error = "unknown answer \"" + t.value + "\"", false;
    ids->push_back(found->id);
  }
  return true;
}

const char* answerName(int id) {
  for (auto& a : kAnswers)
    if (a.id == id) return a.name;
  return "OK";
}

}  // namespace jobkit
