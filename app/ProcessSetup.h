// What every run of the application sets up in its own process, windowed or not.
#pragma once

// Qt adopts the user's locale for the C library too. libplist reads and writes reals with the C
// library, so a decimal comma would turn 1.5 W into 1; numbers stay in the C locale while Qt
// keeps the user's for everything it shows. Call once the application object exists.
void keepNumbersInCLocale();
