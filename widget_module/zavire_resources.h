#pragma once

// Registers the icons and style sheet under ":/zavire/". They live in a static
// library, whose resource initialiser the linker may drop; every widget that
// uses them calls this first. Safe to call any number of times.
void init_zavire_resources();
