#pragma once

// The engine's text readers as fuzz targets. Each takes one raw input,
// runs it through the reader and checks the promises the reader makes;
// a broken promise aborts, so the fuzzer keeps the input and the replay
// test fails on it. The same functions serve the libFuzzer programs and
// the ordinary replay test of the committed corpus.

#include <QString>
#include <cstddef>
#include <cstdint>

namespace tavix::fuzz {

// Dialect statements: translated, then prepared against an in-memory
// database of the program's layout.
void dialect(const uint8_t* data, size_t size);
// Dialect statements translated for a PostgreSQL server, against the
// program's layout held in memory (no server).
void serverDialect(const uint8_t* data, size_t size);
// Dataset filters on the activities table, compiled and run.
void filter(const uint8_t* data, size_t size);
// The Data Source of a connection string.
void connectionString(const uint8_t* data, size_t size);
// The colour and integer texts of the settings.
void colorSetting(const uint8_t* data, size_t size);
void integerSetting(const uint8_t* data, size_t size);

// Reports which promise the input broke, then aborts.
[[noreturn]] void broken(const char* promise, const QString& input, const QString& detail = {});

QString textOf(const uint8_t* data, size_t size);

}  // namespace tavix::fuzz
