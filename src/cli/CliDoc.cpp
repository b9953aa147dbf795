#include "cli/CliDoc.h"

#include "base/fsConvert.h"
#include "base/fsError.h"
#include "base/fsStream.h"
#include "designer/KeyringFile.h"
#include "designer/uFileUtils.h"
#include "engine/fsDocument.h"
#include "persist/fsPlainXml.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>

namespace {

struct TDocOptions {
  std::string File;
  bool Json = false;
  char Side = 0; // 'A', 'B' or none: a bare document archive
  int Page = 1;
};

TDocOptions ParseOptions(const TCliArgs &args, bool info) {
  if (args.size() < 2)
    throw ECliUsage{DocUsage};
  TDocOptions o;
  o.File = args[1];
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (info && a == "--json") {
      o.Json = true;
    } else if (a == "--side" && i + 1 < args.size() && (args[i + 1] == "A" || args[i + 1] == "B")) {
      o.Side = args[++i][0];
    } else if (!info && a == "--page" && i + 1 < args.size()) {
      int32_t n = 0;
      if (!TryStrToInt(args[++i], n) || n < 1)
        throw ECliUsage{DocUsage};
      o.Page = n;
    } else {
      throw ECliUsage{DocUsage};
    }
  }
  return o;
}

void LoadDocument(TfsDocument &doc, const TDocOptions &o) {
  LoadCliDocument(doc, o.File, o.Side);
}

// The shortest text that reads back as the same single.
std::string Number(float v) {
  if (!std::isfinite(v))
    return std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf");
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, r.ptr);
}

std::string JsonNumber(float v) {
  return std::isfinite(v) ? Number(v) : "null";
}

std::string JsonString(const std::string &s) {
  std::string out = "\"";
  for (char c : s) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", u);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Names are bytes; control characters would garble the listing.
std::string Quoted(const std::string &s) {
  std::string out = "\"";
  for (char c : s)
    out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  return out + "\"";
}

void PrintShapes(const TfsShape &parent, int depth, std::ostream &out) {
  for (int i = 0; i < parent.ShapeCount(); ++i) {
    const TfsShape &s = *parent.GetShape(i);
    out << std::string(static_cast<size_t>(depth) * 2, ' ') << s.ClassName() << ' '
        << Quoted(s.Name()) << " at " << Number(s.DocLeft()) << ", " << Number(s.DocTop())
        << " mm, " << Number(s.DocWidth()) << " x " << Number(s.DocHeight()) << " mm, angle "
        << Number(s.DocAngle()) << '\n';
    PrintShapes(s, depth + 1, out);
  }
}

void JsonShapes(const TfsShape &parent, std::ostream &out) {
  out << '[';
  for (int i = 0; i < parent.ShapeCount(); ++i) {
    const TfsShape &s = *parent.GetShape(i);
    out << (i ? "," : "") << "{\"class\":" << JsonString(s.ClassName())
        << ",\"name\":" << JsonString(s.Name()) << ",\"left\":" << JsonNumber(s.DocLeft())
        << ",\"top\":" << JsonNumber(s.DocTop()) << ",\"width\":" << JsonNumber(s.DocWidth())
        << ",\"height\":" << JsonNumber(s.DocHeight()) << ",\"angle\":" << JsonNumber(s.DocAngle())
        << ",\"children\":";
    JsonShapes(s, out);
    out << '}';
  }
  out << ']';
}

void Info(TfsDocument &doc, bool json, std::ostream &out) {
  for (int p = 0; p < doc.PageCount(); ++p)
    doc.GetPage(p)->EnsureLoaded();
  if (json) {
    out << "{\"pages\":[";
    for (int p = 0; p < doc.PageCount(); ++p) {
      const TfsPage &page = *doc.GetPage(p);
      out << (p ? "," : "") << "{\"number\":" << p + 1
          << ",\"width\":" << JsonNumber(page.DocWidth())
          << ",\"height\":" << JsonNumber(page.DocHeight())
          << ",\"name\":" << JsonString(page.Name()) << ",\"shapes\":";
      JsonShapes(page, out);
      out << '}';
    }
    out << "]}\n";
    return;
  }
  out << "pages " << doc.PageCount() << '\n';
  for (int p = 0; p < doc.PageCount(); ++p) {
    const TfsPage &page = *doc.GetPage(p);
    out << "page " << p + 1 << ' ' << Number(page.DocWidth()) << " x " << Number(page.DocHeight())
        << " mm " << Quoted(page.Name()) << '\n';
    PrintShapes(page, 1, out);
  }
}

void Xml(TfsDocument &doc, int page, std::ostream &out) {
  TfsPage *p = doc.GetPage(page - 1);
  if (!p)
    throw EfsError("The document has no page " + std::to_string(page) + " (it has " +
                   std::to_string(doc.PageCount()) + ")");
  TPlainXml xml("Page");
  xml.Root()->AddAttr("Index", page);
  p->SaveToXml(*xml.Root());
  std::string text = xml.WriteToString();
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
    text.erase(0, 3);
  out << text;
  if (text.empty() || text.back() != '\n')
    out << '\n';
}

} // namespace

void LoadCliDocument(TfsDocument &doc, const std::string &file, char side) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error))
    throw EfsError("Cannot find file \"" + file + "\"");
  std::string bytes = ReadWholeFile(file);
  if (side) {
    TKeyringSides sides = SplitSides(bytes);
    bytes = side == 'A' ? std::move(sides.SideA) : std::move(sides.SideB);
  }
  doc.SetUndoEnabled(false);
  TMemoryStream stream(std::move(bytes));
  doc.LoadFromStream(stream);
}

void RunDoc(const TCliArgs &args, std::ostream &out) {
  const std::string verb = args.empty() ? std::string() : args[0];
  if (verb != "info" && verb != "xml")
    throw ECliUsage{DocUsage};
  const TDocOptions o = ParseOptions(args, verb == "info");
  TfsDocument doc;
  LoadDocument(doc, o);
  if (verb == "info")
    Info(doc, o.Json, out);
  else
    Xml(doc, o.Page, out);
}

static TCliRegistrar DocRegistrar({"doc", DocUsage, RunDoc});
