// The language the program speaks, decided once at start-up.
#pragma once

namespace app {

// German or English (a catalogue offset), from the user's "Locale" value.
int DecideLanguage();

}  // namespace app
