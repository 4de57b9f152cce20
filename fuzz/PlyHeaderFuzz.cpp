// Fuzz target: any bytes parsed as a PLY header on their own. Whatever the
// input, the parser must not crash, hang or keep more than the header's
// lines could declare, and a header it accepts must come back the same
// when it is written out again and parsed once more.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/support/Require.h"
#include "tools/ply/PlyFormat.h"

namespace {

using VelpoTestSupport::Require;
using VelpoTools::CPlyElement;
using VelpoTools::CPlyHeader;
using VelpoTools::CPlyProperty;

const char* EncodingName(VelpoTools::CPlyEncoding encoding) {
    switch (encoding) {
        case VelpoTools::CPlyEncoding::Ascii:
            return "ascii";
        case VelpoTools::CPlyEncoding::BinaryLittleEndian:
            return "binary_little_endian";
        case VelpoTools::CPlyEncoding::BinaryBigEndian:
            return "binary_big_endian";
    }
    return "";
}

// A line end keeps no carriage return of a comment's own: the parser takes
// one off every line, so such a comment cannot be written back.
bool Writable(const std::string& comment) {
    return comment.empty() || comment.back() != '\r';
}

// The header as a writer would put it: comments first, then the elements.
std::string Text(const CPlyHeader& header) {
    std::string text = std::string("ply\nformat ") + EncodingName(header.encoding) + " 1.0\n";
    for (const std::string& comment : header.comments) {
        if (Writable(comment)) {
            text += "comment " + comment + "\n";
        }
    }
    for (const CPlyElement& element : header.elements) {
        text += "element " + element.name + " " + std::to_string(element.count) + "\n";
        for (const CPlyProperty& property : element.properties) {
            text += "property ";
            if (property.isList) {
                text += std::string("list ") + VelpoTools::PlyTypeName(property.countType) + " ";
            }
            text +=
                std::string(VelpoTools::PlyTypeName(property.type)) + " " + property.name + "\n";
        }
    }
    return text + "end_header\n";
}

bool SameProperty(const CPlyProperty& a, const CPlyProperty& b) {
    return a.name == b.name && a.type == b.type && a.isList == b.isList &&
           (!a.isList || a.countType == b.countType);
}

bool SameElements(const CPlyHeader& a, const CPlyHeader& b) {
    if (a.encoding != b.encoding || a.elements.size() != b.elements.size()) {
        return false;
    }
    for (size_t e = 0; e < a.elements.size(); ++e) {
        const CPlyElement& x = a.elements[e];
        const CPlyElement& y = b.elements[e];
        if (x.name != y.name || x.count != y.count || x.properties.size() != y.properties.size()) {
            return false;
        }
        for (size_t p = 0; p < x.properties.size(); ++p) {
            if (!SameProperty(x.properties[p], y.properties[p])) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CPlyHeader header;
    const Velpo::CResult parsed = VelpoTools::ParsePlyHeader(bytes, header);
    if (!parsed) {
        Require(!parsed.Message().empty());
        return 0;
    }
    Require(header.dataOffset <= size);
    // Every element, property and comment takes a line of its own.
    size_t lines = header.comments.size() + header.elements.size();
    for (const CPlyElement& element : header.elements) {
        Require(element.count >= 0);
        lines += element.properties.size();
    }
    Require(lines <= header.dataOffset / 2);

    const std::string text = Text(header);
    CPlyHeader again;
    Require(static_cast<bool>(VelpoTools::ParsePlyHeader(text, again)));
    Require(again.dataOffset == text.size());
    Require(SameElements(header, again));
    size_t kept = 0;
    for (const std::string& comment : header.comments) {
        if (Writable(comment)) {
            Require(kept < again.comments.size() && again.comments[kept] == comment);
            ++kept;
        }
    }
    Require(kept == again.comments.size());
    return 0;
}
