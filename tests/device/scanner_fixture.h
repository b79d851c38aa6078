#pragma once

#include "device/scanner.h"
#include "platform/clock.h"
#include "platform/still_image.h"
#include "sim/simulation.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

// A CScanner in front of virtual scanners: everything between them is the
// real transports over the platform layer.
class ScannerFixture : public testing::Test {
protected:
    void SetUp() override { platform::SetManualClock(true); }
    void TearDown() override {
        scanner.close();
        simulation_.reset();
        platform::SetManualClock(false);
        platform::SetWow64Override(-1);
    }

    // A profile written to the scratch directory, tracing to "<name>.trace".
    std::string profile(const std::string& name, const std::string& scannerKeys,
                        const std::string& moreSections = "") {
        const std::string path = scratch.file(name + ".ini");
        testing_support::writeFile(path, "[Scanner]\n" + scannerKeys + "Trace=" + name +
                                             ".trace\n" + moreSections);
        return path;
    }

    void attach(const std::vector<std::string>& profiles) {
        simulation_ = std::make_unique<sim::Simulation>(profiles);
        simulation_->install();
    }

    sim::VirtualScanner& virtualScanner(std::size_t n = 0) {
        return *simulation_->scanners().at(n);
    }

    // The commands a virtual scanner has received, one trace line each.
    std::vector<std::string> trace(const std::string& name) {
        const std::string path = scratch.file(name + ".trace");
        std::vector<std::string> lines;
        if (!testing_support::fileExists(path))
            return lines;
        std::stringstream stream(testing_support::readFile(path));
        for (std::string line; std::getline(stream, line);)
            lines.push_back(line);
        return lines;
    }

    void clearTrace(const std::string& name) {
        testing_support::writeFile(scratch.file(name + ".trace"), "");
    }

    testing_support::ScratchDir scratch;
    CScanner scanner;
    std::unique_ptr<sim::Simulation> simulation_;
};
