// The job script's syntax: one directive a line, its words and quoted
// strings. Shared by the runners of every platform; docs/job-script.md is
// the reference.
#pragma once

#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace jobkit {

struct Token {
  std::string key;    // before '=', empty for a plain token
  std::string value;  // the word, or the quoted text unescaped
  bool quoted = false;
  // The first \n, \r or \t escape of a quoted text ("" when none): in a
  // path it is a folder's backslash mistaken for an escape.
  std::string letterEscape;
};

struct Directive {
  int line = 0;
  std::string verb;
  std::vector<Token> args;
};

struct ScriptError {
  int line = 0;
  std::string message;
};

// The script's name of a message box answer (IDOK is "OK"), and the ids
// of a list of names (an "answer" directive's arguments).
const char* answerName(int id);
bool answerIds(const std::vector<Token>& args, std::vector<int>* ids, std::string* error);

// Reads a script's directives one at a time, from text in memory or a line
// at a time from a stream: a long script is played without ever being held
// whole.
class ScriptReader {
 public:
  explicit ScriptReader(std::string_view text) : text_(text) {}
  explicit ScriptReader(std::istream& in) : in_(&in) {}
  // The next directive into `d`; false at the end, or at a syntax error,
  // which `error` then holds.
  bool next(Directive* d, ScriptError* error);

 private:
  bool nextLine(std::string_view* line);
  bool refill();
  bool stop();  // after an error: nothing more is read

  std::string_view text_;
  size_t at_ = 0;
  std::istream* in_ = nullptr;
  std::unique_ptr<char[]> chunk_;  // what was last read from `in_`
  size_t chunkAt_ = 0, chunkEnd_ = 0;
  std::string lineBuffer_;  // a line that straddles two reads
  int line_ = 0;
  Token verb_;
};

// `; did you mean "NAME"?` for the known name nearest to a mistyped one (a
// few letters wrong), or nothing.
std::string didYouMean(std::string_view word, const std::vector<std::string_view>& known);

// What a document is by its first bytes ("a PDF document", "a PostScript
// document", "a PCL XL document"), or "" for anything else: a job script
// is none of them.
std::string documentKind(std::string_view head);
// How to make PCL XL of a PDF or PostScript document, with Ghostscript,
// into `pxl`.
std::string conversionAdvice(const std::string& document, const std::string& pxl);

// Parses a whole script; false with the first error.
bool parseScript(std::string_view text, std::vector<Directive>* out, ScriptError* error);
// Checks a script's syntax to its end without keeping it.
bool checkScript(std::string_view text, ScriptError* error);
bool checkScript(std::istream& in, ScriptError* error);

// A directive's KEY=VALUE argument, if it has one.
const Token* keyed(const Directive& d, const char* key);
// A path argument. A \n, \r or \t escape in a path is refused
// ("C:\reports\r.ovl" would name a carriage return): a backslash before
// those letters is written \\, a control character meant in a path \xHH.
bool pathArgument(const Token& t, std::string* error);
// A number argument, or false with a message.
bool number(const Token& t, long long* out, std::string* error);
// Arguments from `from` on as hexadecimal bytes, appended to out.
bool hexBytes(const std::vector<Token>& args, size_t from, std::string* out, std::string* error);

}  // namespace jobkit
