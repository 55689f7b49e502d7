// Keeps the application library non-empty while app/ is being built up.
