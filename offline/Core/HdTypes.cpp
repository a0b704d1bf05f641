// HdTypes
