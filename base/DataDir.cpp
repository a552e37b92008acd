// placeholder until the data-directory choice is written
