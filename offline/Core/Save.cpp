// Save
