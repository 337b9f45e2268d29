// Prototype placeholder.
