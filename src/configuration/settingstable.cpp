// placeholder, replaced by the window's code
