// Filled in by the import module.
