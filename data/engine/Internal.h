#pragma once

// Included by the engine's own headers: outside the engine and its tests,
// only the front classes are within reach, so a window cannot lean on a
// back end.
#ifndef TAVIX_ENGINE_INTERNALS
#error "engine-internal header: use the front classes (Connection, Query, TableDataset, ...)"
#endif
