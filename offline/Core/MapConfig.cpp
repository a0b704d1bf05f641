// MapConfig
