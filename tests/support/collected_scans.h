// The scans a splitter hands on, collected into a vector, for tests and fuzzers that compare
// whole results.
#pragma once

#include "scan_log/model/scan_splitter.h"

#include <chrono>
#include <string_view>
#include <vector>

inline std::vector<scan_log::Scan> feed(scan_log::ScanSplitter& splitter, std::string_view bytes,
                                        std::chrono::milliseconds at) {
    std::vector<scan_log::Scan> out;
    splitter.feed(bytes, at,
                  [&out](const scan_log::ScanView& scan) { out.push_back(scan.toScan()); });
    return out;
}

inline std::vector<scan_log::Scan> tick(scan_log::ScanSplitter& splitter,
                                        std::chrono::milliseconds now) {
    std::vector<scan_log::Scan> out;
    splitter.tick(now, [&out](const scan_log::ScanView& scan) { out.push_back(scan.toScan()); });
    return out;
}
