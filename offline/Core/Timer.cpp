// Timer
