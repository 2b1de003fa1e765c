#include "events.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

namespace report {

namespace {

// A JSON value as the event log writes them: objects of strings, numbers,
// null, booleans and objects.
struct Value {
  enum Kind { Null, Bool, Number, String, Object, Array } kind = Null;
  std::string text;               // a string's, or a number's as written
  std::vector<std::string> keys;  // an object's, each with the value of the same index
  std::vector<Value> values;      // an object's or an array's

  const Value* at(const std::string& key) const {
    for (size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == key) return &values[i];
    return nullptr;
  }
  std::string str(const std::string& key) const {
    const Value* v = at(key);
    return v && v->kind != Null && v->kind != Object ? v->text : "";
  }
};

void appendUtf8(std::string& out, unsigned c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

class Parser {
 public:
  explicit Parser(const std::string& s) : s_(s) {}

  bool value(Value* v) {
    skip();
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '{') return object(v);
    if (c == '[') return array(v);
    if (c == '"') return v->kind = Value::String, string(&v->text);
    if (word("null")) return v->kind = Value::Null, true;
    if (word("true")) return v->kind = Value::Bool, v->text = "true", true;
    if (word("false")) return v->kind = Value::Bool, v->text = "", true;
    size_t start = i_;
    while (i_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i_])) || std::strchr("+-.eE", s_[i_]))) ++i_;
    v->kind = Value::Number;
    v->text = s_.substr(start, i_ - start);
    return i_ > start;
  }
  bool atEnd() {
    skip();
    return i_ == s_.size();
  }

 private:
  void skip() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  bool word(const char* w) {
    size_t n = std::strlen(w);
    if (s_.compare(i_, n, w) != 0) return false;
    i_ += n;
    return true;
  }
  bool expect(char c) {
    skip();
    return i_ < s_.size() && s_[i_] == c ? (++i_, true) : false;
  }
  bool object(Value* v) {
    v->kind = Value::Object;
    ++i_;
    if (expect('}')) return true;
    do {
      std::string key;
      Value member;
      skip();
      if (i_ >= s_.size() || s_[i_] != '"' || !string(&key) || !expect(':') || !value(&member)) return false;
      v->keys.push_back(std::move(key));
      v->values.push_back(std::move(member));
    } while (expect(','));
    return expect('}');
  }
  bool array(Value* v) {
    v->kind = Value::Array;
    ++i_;
    if (expect(']')) return true;
    do {
      Value item;
      if (!value(&item)) return false;
      v->values.push_back(std::move(item));
    } while (expect(','));
    return expect(']');
  }
  unsigned hex4() {
    if (i_ + 4 > s_.size()) return 0xFFFD;
    unsigned c = static_cast<unsigned>(std::strtoul(s_.substr(i_, 4).c_str(), nullptr, 16));
    i_ += 4;
    return c;
  }
  bool string(std::string* out) {
    ++i_;
    while (i_ < s_.size() && s_[i_] != '"') {
      char c = s_[i_++];
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (i_ >= s_.size()) return false;
      char e = s_[i_++];
      switch (e) {
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'u': {
          unsigned u = hex4();
          if (u >= 0xD800 && u < 0xDC00 && s_.compare(i_, 2, "\\u") == 0) {
            i_ += 2;
            unsigned low = hex4();
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
          }
          appendUtf8(*out, u);
          break;
        }
        default: *out += e;
      }
    }
    return i_ < s_.size() && s_[i_++] == '"';
  }

  const std::string& s_;
  size_t i_ = 0;
};

Job& current(RunLog* log) {
  if (log->jobs.empty()) log->jobs.emplace_back();
  return log->jobs.back();
}

void take(const Value& e, RunLog* log) {
  std::string kind = e.str("event");
  if (kind == "hook") {
    std::string hook = e.str("hook");
    if (hook == "DrvSplStartDoc") log->jobs.emplace_back();
    const Value* result = e.at("result");
    current(log).hooks.emplace_back(hook, !result ? "" : result->kind == Value::Null ? "null" : result->text);
  } else if (kind == "job") {
    Job& j = current(log);
    j.document = e.str("document");
    j.pages = std::atoi(e.str("pages").c_str());
    j.summarised = true;
    if (const Value* s = e.at("settings"))
      for (size_t i = 0; i < s->keys.size(); ++i) j.settings.emplace_back(s->keys[i], s->values[i].text);
  } else if (kind == "messagebox") {
    current(log).boxes.push_back(
        {e.str("text"), e.str("caption"), e.str("answer"), std::atoll(e.str("style").c_str())});
  } else if (kind == "trace") {
    current(log).traces.push_back(e.str("text"));
  } else if (kind == "document") {
    current(log).documents.push_back({std::atoi(e.str("number").c_str()), e.str("name"), e.str("file"),
                                      std::atoll(e.str("bytes").c_str()), e.str("cancelled") == "true"});
  } else if (kind == "leak") {
    log->leaks.push_back(e.str("kind") + " " + e.str("what"));
  }
}

}  // namespace

bool readRunLog(const fs::path& events, RunLog* log) {
  std::ifstream in(events, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    Parser p(line);
    Value e;
    if (!p.value(&e) || !p.atEnd() || e.kind != Value::Object) {
      log->unreadLines.push_back(line);
      continue;
    }
    take(e, log);
  }
  return true;
}

}  // namespace report
