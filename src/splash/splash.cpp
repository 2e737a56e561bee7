// The splash window and the update check live here.
