// Mutants of a PCL XL stream, of the kinds a faulty driver makes: a byte
// flipped, a run cut or doubled, an operator or a page mark dropped or
// doubled, a data length changed, a page spliced in, the stream cut short,
// attributes reordered, a font removed, a type tag changed, the header
// altered. The same seed and number always give the same mutant.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "pclxl/checker.h"
#include "support/pxl_builder.h"

namespace printer {

// Where a stream's parts are: each command (its attributes and operator),
// each embedded data block, each page, the stream header.
struct Anatomy {
  std::vector<pclxl::Command> commands;
  struct Data {
    uint64_t token, start;
    uint32_t length;
  };
  std::vector<Data> data;
  std::vector<pclxl::PageRange> pages;
  uint64_t header = 0, headerEnd = 0;
};

inline Anatomy anatomyOf(const std::string& bytes) {
  Anatomy a;
  pclxl::Checker checker;
  checker.onCommand = [&](const pclxl::Command& c) {
    if (c.depth == 0) a.commands.push_back(c);
  };
  checker.onData = [&](uint64_t offset, uint32_t length, int depth) {
    if (depth == 0) a.data.push_back({offset, pclxl::dataStart(offset, static_cast<uint8_t>(bytes[offset])), length});
  };
  checker.onText = [&](const pclxl::Token& t, int depth) {
    if (depth == 0 && t.kind == pclxl::TokenKind::Header) a.header = t.offset, a.headerEnd = t.end;
  };
  test::feedBytes(checker, bytes);
  a.pages = checker.pages();
  return a;
}

enum class Mutation {
  FlipByte,
  CutRun,
  DoubleRun,
  DropOperator,
  DropPageMark,
  DoublePageMark,
  DataLength,
  SplicePage,
  Truncate,
  SwapAttributes,
  DropFont,
  TypeTag,
  Header,
  Count
};

inline const char* nameOf(Mutation m) {
  static const char* names[] = {"flip a byte",      "cut a run",          "double a run",         "drop an operator",
                                "drop a page mark", "double a page mark", "change a data length", "splice a page",
                                "truncate",         "swap attributes",    "drop a font",          "change a type tag",
                                "alter the header"};
  return names[static_cast<int>(m)];
}

struct Mutant {
  std::string bytes;
  Mutation kind = Mutation::FlipByte;
  std::string what;  // the mutation and where
};

// Mutant `n` of `seed` (whose anatomy is `a`); `other` lends a page to splice.
inline Mutant mutate(const std::string& seed, const Anatomy& a, const std::string& other, const Anatomy& otherA,
                     uint32_t n) {
  std::mt19937 rng(n * 2654435761u + 12345u);
  auto below = [&](uint64_t k) { return k == 0 ? 0 : rng() % k; };
  Mutant m;
  m.kind = static_cast<Mutation>(n % static_cast<uint32_t>(Mutation::Count));
  m.bytes = seed;
  std::string& b = m.bytes;
  auto at = [](uint64_t where) { return " at " + std::to_string(where); };
  auto command = [&](auto pick) -> const pclxl::Command* {
    std::vector<const pclxl::Command*> found;
    for (auto& c : a.commands)
      if (pick(c)) found.push_back(&c);
    return found.empty() ? nullptr : found[below(found.size())];
  };
  uint64_t body = a.headerEnd;
  switch (m.kind) {
    case Mutation::FlipByte: {
      uint64_t i = body + below(b.size() - body);
      b[i] = static_cast<char>(b[i] ^ static_cast<char>(1 + below(255)));
      m.what = at(i);
      break;
    }
    case Mutation::CutRun:
    case Mutation::DoubleRun: {
      uint64_t i = body + below(b.size() - body), len = 1 + below(std::min<uint64_t>(64, b.size() - i));
      if (m.kind == Mutation::CutRun) b.erase(i, len);
      else b.insert(i, seed.substr(i, len));
      m.what = at(i) + ", " + std::to_string(len) + " bytes";
      break;
    }
    case Mutation::DropOperator:
      if (auto c = command([](auto&) { return true; })) {
        b.erase(c->start, c->end - c->start);
        m.what = " " + std::string(pclxl::operatorName(c->op)) + at(c->start);
        // its data goes with it
        for (auto& d : a.data)
          if (d.token == c->end) b.erase(c->start, d.start + d.length - d.token);
      }
      break;
    case Mutation::DropPageMark:
    case Mutation::DoublePageMark:
      if (auto c = command([](auto& c) { return c.op == pclxl::op::BeginPage || c.op == pclxl::op::EndPage; })) {
        std::string bytes = seed.substr(c->start, c->end - c->start);
        if (m.kind == Mutation::DropPageMark) b.erase(c->start, bytes.size());
        else b.insert(c->end, bytes);
        m.what = " " + std::string(pclxl::operatorName(c->op)) + at(c->start);
      }
      break;
    case Mutation::DataLength:
      if (!a.data.empty()) {
        auto& d = a.data[below(a.data.size())];
        static const int64_t deltas[] = {-1, 1, -4, 4, -64, 64};
        int64_t delta = deltas[below(6)];
        int64_t length = std::max<int64_t>(0, static_cast<int64_t>(d.length) + delta);
        if (static_cast<uint8_t>(b[d.token]) == pclxl::kDataShort) {
          b[d.token + 1] = static_cast<char>(std::min<int64_t>(length, 255));
        } else {
          for (int k = 0; k < 4; ++k) b[d.token + 1 + k] = static_cast<char>((length >> (8 * k)) & 0xFF);
        }
        m.what = at(d.token) + ", " + std::to_string(d.length) + " to " + std::to_string(length);
      }
      break;
    case Mutation::SplicePage:
      if (!otherA.pages.empty() && !a.pages.empty()) {
        auto& page = otherA.pages[below(otherA.pages.size())];
        auto& after = a.pages[below(a.pages.size())];
        b.insert(after.end, other.substr(page.start, page.end - page.start));
        m.what = at(after.end);
      }
      break;
    case Mutation::Truncate: {
      uint64_t i = body + below(b.size() - body);
      b.resize(i);
      m.what = at(i);
      break;
    }
    case Mutation::SwapAttributes:
      if (auto c = command([](auto& c) { return c.attributes.size() >= 2; })) {
        size_t i = below(c->attributes.size() - 1);
        auto& x = c->attributes[i];
        auto& y = c->attributes[i + 1];
        std::string first = seed.substr(x.offset, x.end - x.offset), second = seed.substr(y.offset, y.end - y.offset);
        b.replace(x.offset, y.end - x.offset, second + seed.substr(x.end, y.offset - x.end) + first);
        m.what = " in " + std::string(pclxl::operatorName(c->op)) + at(c->start);
      }
      break;
    case Mutation::DropFont:
      if (auto c = command([](auto& c) { return c.op == pclxl::op::BeginFontHeader; })) {
        for (auto& e : a.commands)
          if (e.op == pclxl::op::EndFontHeader && e.start > c->start) {
            b.erase(c->start, e.end - c->start);
            break;
          }
        m.what = at(c->start);
      }
      break;
    case Mutation::TypeTag:
      if (auto c = command([](auto& c) { return !c.attributes.empty(); })) {
        auto& x = c->attributes[below(c->attributes.size())];
        uint8_t tag = static_cast<uint8_t>(b[x.offset]);
        uint8_t group = tag & 0xF8;
        b[x.offset] = static_cast<char>(group | ((tag + 1 + below(5)) % 6));
        m.what = " in " + std::string(pclxl::operatorName(c->op)) + at(x.offset);
      }
      break;
    case Mutation::Header:
      if (a.headerEnd > a.header) {
        switch (below(3)) {
          case 0:  // another case
            for (uint64_t i = a.header + 1; i < a.headerEnd; ++i)
              if (b[i] >= 'A' && b[i] <= 'Z') b[i] = static_cast<char>(b[i] - 'A' + 'a');
            m.what = ": lower case";
            break;
          case 1:
            b.insert(a.header, below(2) ? " " : std::string(1, '\0'));
            m.what = ": a blank before it";
            break;
          default:
            b[a.header] = b[a.header] == ')' ? '(' : ')';
            m.what = ": the other byte order";
            break;
        }
      }
      break;
    case Mutation::Count: break;
  }
  m.what = nameOf(m.kind) + m.what;
  return m;
}

}  // namespace printer
