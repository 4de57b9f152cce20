#include "tests/view/ViewTestSupport.h"

#include <bit>

#include "tests/support/FileContents.h"

namespace VelpoViewTest {

CTestFrame SimpleFrame(int32_t particles) {
    CTestFrame frame;
    for (int32_t i = 0; i < particles; ++i) {
        frame.ids.push_back(i + 1);
        frame.positions.insert(frame.positions.end(), {double(i), 2.0 * i, -double(i)});
        frame.ages.push_back(i / 10.0);
        frame.velocities.insert(frame.velocities.end(), {double(i), 0.0, 0.0});
    }
    return frame;
}

std::string FrameBytes(const CTestFrame& frame) {
    const auto particles = static_cast<int32_t>(frame.positions.size() / 3);
    const int32_t records = 1 + (frame.ids.empty() ? 0 : 1) + (frame.ages.empty() ? 0 : 1) +
                            (frame.velocities.empty() ? 0 : 1);
    VelpoTestSupport::CPdcBytesIn<std::string> bytes;
    bytes.Header(particles, records);
    if (!frame.ids.empty()) {
        bytes.Record("id", frame.idsAsDoubles ? 3 : 1);
        for (const int32_t id : frame.ids) {
            frame.idsAsDoubles ? bytes.Double(id) : bytes.Int(id);
        }
    }
    if (!frame.ages.empty()) {
        bytes.Record("age", 3);
        for (const double age : frame.ages) {
            bytes.Double(age);
        }
    }
    bytes.Record("position", 5);
    for (const double value : frame.positions) {
        bytes.Double(value);
    }
    if (!frame.velocities.empty()) {
        bytes.Record("velocity", 5);
        for (const double value : frame.velocities) {
            bytes.Double(value);
        }
    }
    return bytes.Bytes();
}

void WriteFrame(const std::string& path, const CTestFrame& frame) {
    VelpoTestSupport::WriteFile(path, FrameBytes(frame));
}

namespace {

uint32_t Word(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    }
    return value;
}

}  // namespace

CPayload ReadPayload(const std::string& body, int colourComponents, bool subset) {
    CPayload payload;
    if (body.size() < 8 || body.compare(0, 4, "VPTS") != 0) {
        return payload;
    }
    const size_t headerLength = Word(body, 4);
    payload.headerText = body.substr(8, headerLength);
    const size_t words = (body.size() - 8 - headerLength) / 4;
    const size_t perPoint = 3 + static_cast<size_t>(colourComponents) + (subset ? 1 : 0);
    if (headerLength % 4 != 0 || words % perPoint != 0) {
        return payload;
    }
    const size_t shown = words / perPoint;
    size_t at = 8 + headerLength;
    for (size_t i = 0; i < 3 * shown; ++i, at += 4) {
        payload.positions.push_back(std::bit_cast<float>(Word(body, at)));
    }
    for (size_t i = 0; i < colourComponents * shown; ++i, at += 4) {
        payload.colour.push_back(std::bit_cast<float>(Word(body, at)));
    }
    for (size_t i = 0; subset && i < shown; ++i, at += 4) {
        payload.indices.push_back(static_cast<int32_t>(Word(body, at)));
    }
    payload.valid = true;
    return payload;
}

}  // namespace VelpoViewTest
