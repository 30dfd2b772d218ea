#pragma once

// Seconds since local midnight, with sub-second resolution, from 0 up to
// just under 86400.
double SecondsSinceMidnight();
