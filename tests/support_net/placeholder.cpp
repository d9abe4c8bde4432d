// Placeholder so the library has a source; remove once real sources exist here.
