// placeholder, replaced by the tests
