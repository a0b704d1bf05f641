// SdTypes
