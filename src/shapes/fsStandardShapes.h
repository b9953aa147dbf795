#pragma once

// Registers the shape classes of this layer with the shape registry, in the
// order files have always listed them. Programs call it once at start-up,
// before they read a document.
void RegisterStandardShapes();
