// Filled in by the application shell.
