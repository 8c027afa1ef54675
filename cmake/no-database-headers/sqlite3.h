// Stands before the real header in every library above the engine.
#error "Only the engine (data/engine/) speaks to SQLite: go through its public classes."
