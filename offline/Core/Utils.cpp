// Utils
