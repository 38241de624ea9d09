namespace platform { int probe() { return 1; } }
