// Manual marking, automatic marking and the new-project wizard live here.
