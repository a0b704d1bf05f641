// Archive
