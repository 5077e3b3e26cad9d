#pragma once

#include <string>

#include "app/core/ItemCells.h"

namespace testsupport {

/// A row that posts an event and waits.
sequora::ItemCells EventRow(const std::string& text, const std::string& delay);
/// A row that sets or clears one TTL bit and does not wait.
sequora::ItemCells BitRow(const std::string& bit, const std::string& state);
/// A row that sets or clears one TTL bit and waits.
sequora::ItemCells BitRow(const std::string& bit, const std::string& state, const std::string& delay);
/// A row that sends a command and waits.
sequora::ItemCells CommandRow(const std::string& command, const std::string& delay);
/// A row that only waits.
sequora::ItemCells WaitRow(const std::string& delay);

}  // namespace testsupport
