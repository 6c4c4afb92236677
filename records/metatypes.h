#pragma once

// Registers every record that crosses threads under the name its signals use.
// main() and every test call it once before any queued connection carries one.
void registerMetaTypes();
