// Start-up of the game.
int main() { return 0; }
