// Filled in by the engine.
