// Filled in by the URL list.
