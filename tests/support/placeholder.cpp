// Anchor so the support library always has a source file.
