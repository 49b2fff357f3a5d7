// Placeholder translation unit until the host store lands.
