// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Running a piece of a test in a forked child under a memory ceiling, so that a request that
// eats memory fails there (or is caught as a breach) without harming the rest of the suite.
namespace testsupport {

// True when the ceiling is applied. Not under AddressSanitizer: its shadow memory needs far more
// address space than any useful ceiling leaves.
bool CeilingApplies();
// Bytes of address space the process maps now.
std::size_t MappedBytes();

// Runs `body` in a child whose address space may grow by at most `ceilingBytes` beyond what the
// process maps now, with standard output and error sent to /dev/null. `body` returns its
// complaints, one per line, or "" when all was well. The result is those complaints, or a line
// saying how the child died (a signal, an uncaught exception, a breach of the ceiling).
std::string RunCapped(std::size_t ceilingBytes, const std::function<std::string()>& body);

// Inside RunCapped's body: lets the address space grow by at most `extraBytes` from now on.
void LowerCeiling(std::size_t extraBytes);

} // namespace testsupport
