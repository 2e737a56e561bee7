// Pedal tempo control lives here.
